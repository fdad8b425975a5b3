// The hexadecimal text of frame headers: upper-case digits out, either case in.
#ifndef VELNOR_HEXTEXT_H
#define VELNOR_HEXTEXT_H

#include <cstddef>
#include <cstdint>
#include <span>

#include "Bytes.h"

namespace velnor {

// Appends two characters per byte, high nibble first; returns how many were appended.
std::size_t BytesToHex(std::span<const std::uint8_t> bytes, Bytes& text);

// Decodes the first `count` characters of text in pairs into bytes (an odd last character is
// dropped). Returns the number of bytes stored; 0 when a character is not a hexadecimal digit,
// when count is 0, or when text or bytes are too short for count.
std::size_t HexToBytes(std::span<const std::uint8_t> text, std::size_t count, std::span<std::uint8_t> bytes);

}  // namespace velnor

#endif
