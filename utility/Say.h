// The program's messages: formatted, written as one piece and flushed at once, so that each
// appears when its step is done and in order with the library's own lines, also on a pipe.
#ifndef VELNOR_UTILITY_SAY_H
#define VELNOR_UTILITY_SAY_H

#include <cstdint>
#include <ostream>
#include <string>

namespace velnorutility {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(std::ostream& out, const std::string& text);

// The key character of a number-of-keys option: 0 is 5 keys, 1 is 6, 2 is 8; '?' otherwise.
char KeyCharacter(std::uint8_t option);

// A byte of a backup file as its echo shows it: lower-case hexadecimal of the byte widened as a
// signed 8-bit number, so 0x80 and above print as ffffff80 to ffffffff.
std::string EchoHex(std::uint8_t value);

}  // namespace velnorutility

#endif
