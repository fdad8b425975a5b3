// Every JSON document velnor prints, in one place. These names are an interface for scripts
// (documented in velnor(1)); keep them stable. The exit statuses are in ExitStatus.h beside it.
#ifndef VELNOR_CLI_JSON_H
#define VELNOR_CLI_JSON_H

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <velnor/PlixoApi.h>

#include "Doctor.h"
#include "ExitStatus.h"
#include "KeyNames.h"
#include "Settings.h"
#include "Reports.h"

namespace velnorcli {

using Json = nlohmann::ordered_json;

// {"path", "location", "usb_serial", "manufacturer", "product"}
Json KeypadJson(const KEYPAD_ENTRY& keypad);
// {"led_level", "buzzer", "buzzer_period", "keypad_table", "key_count_option", "keys",
//  "code_table", "firmware", "serial"}
Json SettingsJson(const DEVICE_INFO& status);
Json ValueJson(const Value& value);

// list: {"keypads": [K, ...]}
Json ListJson(const std::vector<KEYPAD_ENTRY>& keypads);
// status: {"keypad": K, "settings": S}
Json StatusJson(const KEYPAD_ENTRY& keypad, const DEVICE_INFO& status);
// status --all: {"keypads": [{"keypad": K, "settings": S} or {"keypad": K, "error": E}, ...]}
Json StatusAllJson(const std::vector<StatusReading>& readings);
// verify, diff: {"equal": B, "differences": [{"field": F, LEFT: V, RIGHT: V}, ...]}
// with LEFT/RIGHT "keypad"/"file" for verify and "old"/"new" for diff.
Json DifferencesJson(const std::vector<Difference>& differences, const char* left, const char* right);
// verify --all: {"keypads": [{"keypad": K, "equal": B, "differences": [...]} or {"keypad": K, "error": E}]}
Json VerifyAllJson(const std::vector<VerifyOutcome>& outcomes);
// backup: {"keypad": K, "file": S, "warnings": [S, ...]}
Json BackupJson(const KEYPAD_ENTRY& keypad, const std::string& file, const std::vector<std::string>& warnings);
// doctor: {"nodes": [{"node", "location", "usable", "why"}, ...], "notes": [S, ...],
//          "commands": [S, ...], "status": N, "message": S}
Json DoctorJson(const Diagnosis& diagnosis);
// restore, set, reset: {"keypads": [{"keypad": K, "result": R, "changes": [{"field": F, "from": V,
// "to": V}, ...], "status": N, "message": S}, ...]}
Json ChangesJson(const std::vector<Difference>& changes);
Json ReportsJson(const std::vector<KeypadReport>& reports);
// One line of the station's log: {"time", "host", "velnor_version", "command", "location",
// "usb_serial", "serial_before", "serial_after", "firmware", "file", "file_sha256", "changes",
// "result", "status", "duration_ms", "message"}; null for what is not known or not given.
struct LogContext {
    std::string time;  // UTC, ISO 8601
    std::string host;
    std::string version;
    std::string command;
    std::optional<std::string> file;
    std::optional<std::string> fileSha256;
};
Json LogJson(const KeypadReport& report, const LogContext& context);
// Any failure: {"error": {"status": N, "message": S}}, with "keypad": K after it when one was involved.
Json ErrorJson(const Failure& failure, const KEYPAD_ENTRY* keypad = nullptr);
// E of the --all shapes: {"status": N, "message": S}
Json FailureJson(const Failure& failure);

// velnor keys: {"keys": [{"code": N, "name": S}, ...]}, in the order of the codes.
Json KeysJson(const KeyNames& names);

// One line ending in \n; text that is not UTF-8 gets U+FFFD in place of the bad bytes.
std::string Dump(const Json& document);

}  // namespace velnorcli

#endif
