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
#ifndef VELNOR_BACKUP_BACKUPFILE_H
#define VELNOR_BACKUP_BACKUPFILE_H

#include <array>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "LineReader.h"
#include "velnor/PlixoApi.h"

namespace velnorbackup {

enum class LineKind { BuzzerPeriod, Buzzer, LedBrightness, KeyCount, KeypadTable, KeycodeHeader, Serial, Version, Other };

// By the text the line begins with, tested in the order above ("Buzzer Period" before "Buzzer").
LineKind ClassifyLine(std::string_view line);

// Counts the hexadecimal words of the line (words made only of 0-9, a-f, A-F) and stores the
// low 8 bits of each (read as a saturating signed 32-bit number) in order; at most 20 are stored.
int ParseHexValues(std::string_view line, std::array<std::uint8_t, 20>& values);

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

// Where the settings of a file read to its end came from, for messages that name the line.
struct BackupLines {
    int accepted = 0;                // lines accepted, however many
    std::array<int, 8> lastOf{};     // by LineKind, the last accepted line of that kind (from 1); 0 for none
    int tableCount = 0;              // the number of values of the last accepted code table
    bool tableStored = false;        // whether that table fitted the key count in force and was stored
    int LastOf(LineKind kind) const { return lastOf[static_cast<std::size_t>(kind)]; }
};

// Fills the cleared record from the stream, printing an echo line for each accepted line (text
// from the file with its control bytes shown as \xHH), and into `lines`, when given, where each
// setting came from. A code table's line is the one of its values.
BackupRead ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo, BackupLimits limits = {},
                          BackupLines* lines = nullptr);

}  // namespace velnorbackup

#endif
