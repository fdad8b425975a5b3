// The settings `velnor set` is given as FIELD=VALUE words, checked before anything is written:
// numbers decimal or with a 0x prefix, each within what the keypad takes.
#ifndef VELNOR_CLI_SETVALUES_H
#define VELNOR_CLI_SETVALUES_H

#include <cstdint>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "KeyNames.h"
#include "RestorePlan.h"
#include "Result.h"

namespace velnorcli {

struct Assignment {
    Field field;
    int number = 0;                   // led_level, buzzer, buzzer_period, keypad_table; the option for keys
    std::string text;                 // serial
    std::vector<std::uint8_t> bytes;  // code_table: 14, 16 or 20 values
    int key = -1;                     // key.N: N, the entry of the code table, and its code in `number`
};

// The field names are led_level, buzzer, buzzer_period, keypad_table, keys (5, 6 or 8), serial
// and code_table (hexadecimal bytes separated by blanks or commas); key.N (N from 0 to 19, as
// status numbers the code table) takes one key's code as 0xNN, or its name in `names` (without
// regard to case; an unknown name is refused with those that resemble it, one that names several
// keys with their codes). A refusal is a usage failure that says why.
Result<std::vector<Assignment>> ParseAssignments(const std::vector<std::string>& words, const KeyNames& names = {});

// What the keypad is to hold: its status with the assignments applied. An eight-character
// serial gets four blanks on firmware V0 to V6, as `VelnorUtility -k -n` sends it; the code
// table must have as many values as the key count (the one assigned, else the keypad's) stores,
// and the rest of its 20 bytes become 0; key.N then changes one entry of those the key count
// stores. A refusal is a usage failure that says why.
Result<Target> TargetOfSet(const DEVICE_INFO& now, const std::vector<Assignment>& assignments);

std::vector<Field> FieldsOf(const std::vector<Assignment>& assignments);

}  // namespace velnorcli

#endif
