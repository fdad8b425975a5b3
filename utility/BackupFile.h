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

#include "velnor/PlixoApi.h"

namespace velnorutility {

enum class LineKind { BuzzerPeriod, Buzzer, LedBrightness, KeyCount, KeypadTable, KeycodeHeader, Serial, Version, Other };

// By the text the line begins with, tested in the order above ("Buzzer Period" before "Buzzer").
LineKind ClassifyLine(std::string_view line);

// Reads one line without its line end (a carriage return before the line feed included).
bool ReadLine(std::istream& in, std::string& line);

// Counts the hexadecimal words of the line (words made only of 0-9, a-f, A-F) and stores the
// low 8 bits of each (read as a saturating signed 32-bit number) in order; at most 20 are stored.
int ParseHexValues(std::string_view line, std::array<std::uint8_t, 20>& values);

// Fills the cleared record from the stream, printing an echo line for each accepted line.
// Returns 0 when exactly eight lines were accepted, 1 otherwise.
int ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo);

}  // namespace velnorutility

#endif
