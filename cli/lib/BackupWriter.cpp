#include "BackupWriter.h"

#include <algorithm>
#include <sstream>

#include "BackupFile.h"
#include "SerialSuffix.h"
#include "Settings.h"
#include "Text.h"
#include "ValueText.h"

namespace velnorcli {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

using velnorbackup::IsControlByte;

// The first word of the text.
std::string FirstWord(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    std::size_t end = start;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    return std::string(text.substr(start, end - start));
}

// What of a text the file can hold as a word value: its first word (all that the reader takes),
// without control bytes (the utility refuses a file whose serial number has any).
std::string WordOf(std::string_view text) {
    std::string word = FirstWord(text);
    word.erase(std::remove_if(word.begin(), word.end(), IsControlByte), word.end());
    return word;
}

std::string KeyCountWord(std::uint8_t option) {
    if (const auto keys = KeysOfOption(option)) return std::to_string(*keys);
    return Hex(option);
}

// The firmware name as the Version line holds it: its first word. An empty name is written as
// "unknown", which the reader takes as new firmware, so that a restore adds no padding the
// keypad does not hold.
std::string FirmwareWord(const DEVICE_INFO& status) {
    const std::string firmware = WordOf(status.FirmwareName);
    return firmware.empty() ? "unknown" : firmware;
}

// Why the format cannot carry the keypad's value of this field.
std::string Cause(Field field, const DEVICE_INFO& status) {
    const std::string& serial = status.SerialNumber;
    switch (field) {
    case Field::KeypadTable:
        return "the keypad table " + std::to_string(status.KeypadTable) +
               " is above 2: VelnorUtility -b restores it, but velnor verify and restore refuse such a file";
    case Field::KeyCountOption:
        return "the key-count option " + std::to_string(status.KeyCountOption) +
               " is none of 0, 1, 2 (5, 6, 8 keys), which is all a backup file holds";
    case Field::CodeTable:
        if (const auto keys = KeysOfOption(status.KeyCountOption)) {
            return "the code table holds values beyond the " + std::to_string(TableLengthOfOption(status.KeyCountOption)) +
                   " that a backup file for " + std::to_string(*keys) + " keys stores";
        }
        return "no code table is stored for the key-count option " + std::to_string(status.KeyCountOption);
    case Field::Serial: {
        const std::string trimmed = TrimmedRight(serial);
        const std::string word = FirstWord(serial);
        if (velnorbackup::HoldsControlBytes(word)) {
            return "the serial number has control characters, which a backup file cannot hold";
        }
        if (word != trimmed) return "the serial number has blanks in it";
        if (trimmed.size() == 8 && serial.size() == 8 && velnorbackup::OldFirmware(FirmwareWord(status), velnorbackup::FirmwareOf::BackupFile)) {
            return "the serial number has eight characters without the four blanks that a restore adds on firmware "
                   "below 7";
        }
        if (!trimmed.empty()) {
            const bool digit = (trimmed[0] >= '0' && trimmed[0] <= '9') ||
                               (trimmed.size() > 1 && trimmed[1] >= '0' && trimmed[1] <= '9');
            if (!digit) return "neither of the serial number's first two characters is a digit, so the reader empties it";
        }
        return "the serial number's trailing blanks are not restored";
    }
    default:
        return "the format cannot carry this value";
    }
}

}  // namespace

std::string ProvenanceLine(const Provenance& provenance) {
    const KEYPAD_ENTRY& keypad = provenance.keypad;
    return "Taken " + provenance.time + " by velnor " + provenance.version + " from keypad path=" +
           EscapeControl(keypad.Path) + " location=" + EscapeControl(keypad.Location) +
           " usb_serial=" + EscapeControl(keypad.UsbSerial);
}

BackupText WriteBackup(const DEVICE_INFO& status, const Provenance& provenance) {
    const int stored = TableLengthOfOption(status.KeyCountOption);
    const int listed = stored > 0 ? stored : 20;  // an option without a table: all 20, not stored
    std::string table;
    std::string keys;
    for (int i = 0; i < listed; ++i) {
        const std::string code = Hex(status.CodeTable[static_cast<std::size_t>(i)], true);
        table += (i > 0 ? " " : "") + code;
        keys += (i < 10 ? " " : "") + std::to_string(i) + "  " + code + "\n";
    }
    BackupText backup;
    backup.text = "Velnor keypad settings backup\n"
                  "Version No " + FirmwareWord(status) + "\n"
                  "Serial No " + WordOf(status.SerialNumber) + "\n"
                  "Velnor has " + KeyCountWord(status.KeyCountOption) + " keys\n"
                  "Keycode values\n" + table + "\n"
                  "Key  Code\n" + keys +
                  "Keypad Table " + Hex(status.KeypadTable) + "\n"
                  "Led Brightness " + Hex(status.LedLevel) + "\n"
                  "Buzzer " + Hex(status.BuzzerSetting) + "\n"
                  "Buzzer Period " + Hex(status.BuzzerPeriod) + "\n" +
                  ProvenanceLine(provenance) + "\n";

    // What the utility's own reader makes of the text, restored, against the keypad.
    std::istringstream in(backup.text);
    std::ostringstream echo;
    echo.setstate(std::ios::badbit);
    DEVICE_INFO read;
    velnorbackup::ReadBackupFile(in, read, echo);
    std::vector<std::pair<Field, std::string>> found;
    for (const Difference& difference : Compare(SettingsOfKeypad(status), SettingsAfterRestore(read))) {
        found.emplace_back(difference.field, Cause(difference.field, status) + "; the keypad holds " +
                                                 ShownValue(difference.left, Numbers::Decimal) + ", a restore of this file leaves " +
                                                 ShownValue(difference.right, Numbers::Decimal));
    }
    // An option outside 0, 1, 2 and a keypad table above 2 are written raw (the utility restores
    // them), but velnor refuses such a file: say so also when they read back unchanged.
    const auto warned = [&found](Field field) {
        return std::any_of(found.begin(), found.end(), [field](const auto& warning) { return warning.first == field; });
    };
    if (!KeysOfOption(status.KeyCountOption) && !warned(Field::KeyCountOption)) {
        found.emplace_back(Field::KeyCountOption, Cause(Field::KeyCountOption, status));
    }
    if (status.KeypadTable > 2 && !warned(Field::KeypadTable)) {
        found.emplace_back(Field::KeypadTable, Cause(Field::KeypadTable, status));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [field, text] : found) backup.warnings.push_back(std::string(FieldName(field)) + ": " + text);
    return backup;
}

}  // namespace velnorcli
