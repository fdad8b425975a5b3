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
#include "Keypad.h"
#include "Settings.h"

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
struct VerifyOutcome {
    KEYPAD_ENTRY keypad;
    std::optional<std::vector<Difference>> differences;  // none: `failure` says why
    Failure failure;
};
Json VerifyAllJson(const std::vector<VerifyOutcome>& outcomes);
// backup: {"keypad": K, "file": S, "warnings": [S, ...]}
Json BackupJson(const KEYPAD_ENTRY& keypad, const std::string& file, const std::vector<std::string>& warnings);
// doctor: {"nodes": [{"node", "location", "usable", "why"}, ...], "notes": [S, ...],
//          "commands": [S, ...], "status": N, "message": S}
Json DoctorJson(const Diagnosis& diagnosis);
// Any failure: {"error": {"status": N, "message": S}}, with "keypad": K after it when one was involved.
Json ErrorJson(const Failure& failure, const KEYPAD_ENTRY* keypad = nullptr);
// E of the --all shapes: {"status": N, "message": S}
Json FailureJson(const Failure& failure);

// One line ending in \n; text that is not UTF-8 gets U+FFFD in place of the bad bytes.
std::string Dump(const Json& document);

}  // namespace velnorcli

#endif
