// Text that came from outside (a keypad, a file, a command line) on its way to a terminal or a
// keypad. A control byte in it could move the cursor, clear the screen or retitle the window of
// whoever reads the output, and programs an unreadable serial number into a keypad.
#ifndef VELNOR_BACKUP_CONTROLBYTES_H
#define VELNOR_BACKUP_CONTROLBYTES_H

#include <string>
#include <string_view>

namespace velnorbackup {

// A byte below 0x20 or 0x7F.
bool IsControlByte(char c);
bool HoldsControlBytes(std::string_view text);

// The text with every control byte shown as \xHH, two lower-case hexadecimal digits (ESC is
// \x1b); every other byte stays as it is. VelnorUtility's way.
std::string ShowControlBytes(std::string_view text);

// velnor's way, which also keeps the text from reordering what follows it: control bytes and
// bytes that are not UTF-8 as \xHH, C1 controls and the bidirectional overrides and isolates as
// \u{XXXX}, a backslash as \\.
std::string EscapeControl(std::string_view text);

}  // namespace velnorbackup

#endif
