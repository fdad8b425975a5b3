#include "HexText.h"

namespace velnor {

namespace {

std::uint8_t Digit(unsigned nibble) {
    return static_cast<std::uint8_t>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
}

int NibbleOf(std::uint8_t character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    return -1;
}

}  // namespace

std::size_t BytesToHex(std::span<const std::uint8_t> bytes, Bytes& text) {
    for (std::uint8_t byte : bytes) {
        text.push_back(Digit(byte >> 4));
        text.push_back(Digit(byte & 0x0F));
    }
    return 2 * bytes.size();
}

std::size_t HexToBytes(std::span<const std::uint8_t> text, std::size_t count, std::span<std::uint8_t> bytes) {
    if (count > text.size() || count / 2 > bytes.size()) return 0;
    std::size_t stored = 0;
    int high = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int nibble = NibbleOf(text[i]);
        if (nibble < 0) return 0;
        if (i % 2 == 0) {
            high = nibble;
        } else {
            bytes[stored++] = static_cast<std::uint8_t>(high << 4 | nibble);
        }
    }
    return stored;
}

}  // namespace velnor
