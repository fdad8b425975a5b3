#include "WideText.h"

#include <cstdint>

namespace velnor {

std::string WideToNarrow(const wchar_t* text, std::size_t capacity) {
    std::string narrow;
    for (std::size_t i = 0; i + 1 < capacity && text[i] != L'\0'; ++i) {
        const wchar_t c = text[i];
        narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : ' ');
    }
    return narrow;
}

std::string WideToUtf8(const wchar_t* text, std::size_t capacity) {
    std::string utf8;
    for (std::size_t i = 0; i + 1 < capacity && text[i] != L'\0'; ++i) {
        auto c = static_cast<std::uint32_t>(text[i]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | c >> 6));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | c >> 12));
            utf8.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | c >> 18));
            utf8.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace velnor
