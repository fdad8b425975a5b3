// Byte strings written as hexadecimal text in tests: "3F 40 02".
#ifndef VELNOR_TESTS_HEX_H
#define VELNOR_TESTS_HEX_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velnortest {

inline std::vector<std::uint8_t> Hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        if (nibble < 0) continue;
        value = value * 16 + static_cast<unsigned>(nibble);
        if (++digits == 2) {
            bytes.push_back(static_cast<std::uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return bytes;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

// A report padded with zeros to 64 bytes.
inline std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> bytes, std::size_t size = 64) {
    bytes.resize(std::max(bytes.size(), size), 0);
    return bytes;
}

}  // namespace velnortest

#endif
