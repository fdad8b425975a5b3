// Text that came from outside (a keypad, a file, a command line) on its way to a terminal or a
// keypad. A control byte in it could move the cursor, clear the screen or retitle the window of
// whoever reads the output, and programs an unreadable serial number into a keypad.
#ifndef VELNOR_UTILITY_CONTROLBYTES_H
#define VELNOR_UTILITY_CONTROLBYTES_H

#include <string>
#include <string_view>

namespace velnorutility {

// A byte below 0x20 or 0x7F.
bool IsControlByte(char c);
bool HoldsControlBytes(std::string_view text);

// The text with every control byte shown as \xHH, two lower-case hexadecimal digits (ESC is
// \x1b); every other byte stays as it is.
std::string ShowControlBytes(std::string_view text);

}  // namespace velnorutility

#endif
