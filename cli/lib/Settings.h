// The comparable view of a keypad's settings: what a status read shows, and what a restore of a
// backup file would leave a keypad holding, so that the two can be compared field by field.
#ifndef VELNOR_CLI_SETTINGS_H
#define VELNOR_CLI_SETTINGS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <velnor/PlixoApi.h>

#include "KeyCounts.h"

namespace velnorcli {

using CodeTable = std::array<std::uint8_t, 20>;

// The settings a restore writes. The firmware name is not one of them: nothing writes it.
// Declared, and listed in kFields, in the order in which every command shows them, as `velnor
// status` does: differences, changes, plans and warnings alike (the keypad is written in its
// own order, kWriteOrder).
enum class Field { Serial, KeyCountOption, LedLevel, Buzzer, BuzzerPeriod, KeypadTable, CodeTable };
inline constexpr Field kFields[] = {Field::Serial,       Field::KeyCountOption, Field::LedLevel, Field::Buzzer,
                                    Field::BuzzerPeriod, Field::KeypadTable,    Field::CodeTable};

// "led_level", "buzzer", ... as in the JSON output.
std::string_view FieldName(Field field);

struct Settings {
    std::uint8_t ledLevel = 0;
    std::uint8_t buzzer = 0;
    std::uint8_t buzzerPeriod = 0;
    std::uint8_t keypadTable = 0;
    std::uint8_t keyCountOption = 0;
    CodeTable codeTable{};
    std::string serial;
    bool operator==(const Settings&) const = default;
};

using Value = std::variant<int, std::string, CodeTable>;
Value ValueOf(const Settings& settings, Field field);

struct Difference {
    Field field;
    Value left;   // the keypad's, or the old file's
    Value right;  // the file's, the new file's, or what the keypad is to hold
};

// Every field in which the two differ, in field order.
std::vector<Difference> Compare(const Settings& left, const Settings& right);

// 5, 6 or 8 keys for the options 0, 1, 2, and the code-table length a backup file stores for
// each: the rules VelnorUtility holds to as well.
using velnorbackup::KeysOfOption;
using velnorbackup::TableLengthOfOption;

// The longest serial number a status reply carries.
inline constexpr std::size_t kSerialShown = 16;

// What a status read reported.
Settings SettingsOfKeypad(const DEVICE_INFO& status);
// What a restore of a backup file, read into `file`, leaves a keypad holding as a status read
// shows it: the serial number with its four-blank suffix for old firmware, cut to 16 characters.
Settings SettingsAfterRestore(const DEVICE_INFO& file);

}  // namespace velnorcli

#endif
