// Backup files: keyed text lines holding one keypad's settings.
//
//   Buzzer Period 64        single values: the one hexadecimal word of the line
//   Buzzer 1
//   Led Brightness 5
//   Velnor has 6 keys       5, 6 or 8 keys (option 0, 1, 2)
//   Keypad Table 1
//   Keycode values          the next line holds 14, 16 or 20 hexadecimal codes
//   1e 1f 20 ...
//   Serial No 12345678      word values: the third word
//   Version No V6.12
#ifndef VELNOR_UTILITY_BACKUPFILE_H
#define VELNOR_UTILITY_BACKUPFILE_H

#include <array>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "LineReader.h"
#include "velnor/PlixoApi.h"

namespace velnorutility {

enum class LineKind { BuzzerPeriod, Buzzer, LedBrightness, KeyCount, KeypadTable, KeycodeHeader, Serial, Version, Other };

// By the text the line begins with, tested in the order above ("Buzzer Period" before "Buzzer").
LineKind ClassifyLine(std::string_view line);

// Counts the hexadecimal words of the line (words made only of 0-9, a-f, A-F) and stores the
// low 8 bits of each (read as a saturating signed 32-bit number) in order; at most 20 are stored.
int ParseHexValues(std::string_view line, std::array<std::uint8_t, 20>& values);

// The key mode a "Velnor has N keys" line gives: 0, 1, 2 for 5, 6, 8 keys, else N itself.
std::uint8_t KeyModeOf(std::uint8_t keys);
// How many code-table values a key mode stores; 0 for a mode that stores none.
int TableSizeOfKeyMode(int keyMode);

// A backup file is a few hundred bytes; restore mode reads no more than this of one.
constexpr std::size_t kBackupFileCapacity = 65536;

struct BackupLimits {
    std::size_t line = kLineCapacity;
    std::size_t file = kBackupFileCapacity;
};

// What ReadBackupFile made of a stream: 0 and 1 when it was read to its end, otherwise why it
// was refused, as soon as that was seen.
enum BackupRead : int {
    kBackupComplete = 0,     // exactly eight lines accepted
    kBackupIncomplete = 1,   // any other count
    kBackupTooLarge = 2,     // more than limits.file bytes
    kBackupLineTooLong = 3,  // a line of more than limits.line bytes
    kBackupUnsafeSerial = 4, // a serial number with a control byte, which would go to the keypad
};

// Fills the cleared record from the stream, printing an echo line for each accepted line (text
// from the file with its control bytes shown as \xHH).
BackupRead ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo, BackupLimits limits = {});

}  // namespace velnorutility

#endif
