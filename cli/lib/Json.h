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

// Version 1 of velnor's JSON: these names and shapes only grow (new members, new result
// words); the schemas under share/velnor/schemas describe each document.
//
// K: {"path", "location", "usb_serial", "manufacturer", "product"}, null for what is absent.
Json KeypadJson(const KEYPAD_ENTRY& keypad);
// {"led_level", "buzzer", "buzzer_period", "keypad_table", "key_count_option", "keys",
//  "code_table", "firmware", "serial"}
Json SettingsJson(const DEVICE_INFO& status);
Json ValueJson(const Value& value);
// [{"field": F, "from": V, "to": V}, ...]
Json DifferencesJson(const std::vector<Difference>& differences);
// {"status": N, "message": S, "hint": S|null}
Json FailureJson(const Failure& failure);

// list: {"keypads": [K, ...]}
Json ListJson(const std::vector<KEYPAD_ENTRY>& keypads);
// Every command that works on keypads prints {"keypads": [E, ...]}, for one keypad as for --all.
// E is {"keypad": K, "status": N, "message": S|null} and the command's own members; a keypad
// that could not be read has "error": {...} in their place.
// status: "settings"
Json StatusJson(const std::vector<StatusReading>& readings);
// verify: "file", "equal", "differences" (from: the keypad's value, to: the file's)
Json VerifyJson(const std::vector<VerifyOutcome>& outcomes, const std::string& file);
// backup: "file", "warnings"
Json BackupJson(const KEYPAD_ENTRY& keypad, const std::string& file, const std::vector<std::string>& warnings);
// restore, set, reset: "result", "changes" (before, after)
Json ReportsJson(const std::vector<KeypadReport>& reports);
// diff: {"equal": B, "differences": [...]} (from: the old file's value, to: the new file's)
Json DiffJson(const std::vector<Difference>& differences);
// doctor: {"nodes": [{"node", "location", "usable", "why"}, ...], "notes": [S, ...],
//          "commands": [S, ...], "status": N, "message": S}
Json DoctorJson(const Diagnosis& diagnosis);
// A failure before any keypad is involved: {"error": {...}}; with the keypad it happened to,
// {"keypads": [{"keypad": K, "status": N, "message": S, "error": {...}}]}.
Json ErrorJson(const Failure& failure, const KEYPAD_ENTRY* keypad = nullptr);

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
    std::string station;  // empty: none named
};
Json LogJson(const KeypadReport& report, const LogContext& context);

// velnor keys: {"keys": [{"code": N, "name": S}, ...]}, in the order of the codes.
Json KeysJson(const KeyNames& names);

// One line ending in \n; text that is not UTF-8 gets U+FFFD in place of the bad bytes.
std::string Dump(const Json& document);

}  // namespace velnorcli

#endif
