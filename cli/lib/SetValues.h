// The settings `velnor set` is given as FIELD=VALUE words, checked before anything is written:
// numbers decimal or with a 0x prefix, each within what the keypad takes.
#ifndef VELNOR_CLI_SETVALUES_H
#define VELNOR_CLI_SETVALUES_H

#include <cstdint>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "RestorePlan.h"
#include "Result.h"

namespace velnorcli {

struct Assignment {
    Field field;
    int number = 0;                   // led_level, buzzer, buzzer_period, keypad_table; the option for keys
    std::string text;                 // serial
    std::vector<std::uint8_t> bytes;  // code_table: 14, 16 or 20 values
};

// The field names are led_level, buzzer, buzzer_period, keypad_table, keys (5, 6 or 8), serial
// and code_table (hexadecimal bytes separated by blanks or commas). A refusal is a usage failure
// that says why.
Result<std::vector<Assignment>> ParseAssignments(const std::vector<std::string>& words);

// What the keypad is to hold: its status with the assignments applied. An eight-character
// serial gets four blanks on firmware V0 to V6, as `VelnorUtility -k -n` sends it; the code
// table must have as many values as the key count (the one assigned, else the keypad's) stores,
// and the rest of its 20 bytes become 0. A refusal is a usage failure that says why.
Result<Target> TargetOfSet(const DEVICE_INFO& now, const std::vector<Assignment>& assignments);

std::vector<Field> FieldsOf(const std::vector<Assignment>& assignments);

}  // namespace velnorcli

#endif
