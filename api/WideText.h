// The keypad's wide-character strings as 8-bit text.
#ifndef VELNOR_WIDETEXT_H
#define VELNOR_WIDETEXT_H

#include <cstddef>
#include <string>

namespace velnor {

// Converts the zero-terminated wide text (at most `capacity` characters are looked at) to 8-bit
// text: characters 1 to 127 are kept, every other character becomes a blank. The result holds at
// most capacity - 1 characters, the room a terminated text of that size leaves.
std::string WideToNarrow(const wchar_t* text, std::size_t capacity);

// The same characters as UTF-8, for the listing: a character that is no Unicode scalar value
// (a surrogate, or beyond U+10FFFF) becomes U+FFFD.
std::string WideToUtf8(const wchar_t* text, std::size_t capacity);

}  // namespace velnor

#endif
