#include "Text.h"

#include <cstring>

namespace velnorcli {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

// The length of the well-formed UTF-8 sequence that `text` begins with (0 when there is none),
// and its code point.
std::size_t Utf8Sequence(std::string_view text, char32_t& point) {
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || text.size() < length) return 0;
    point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        point = point << 6 | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return 0;
    return length;
}

// Characters a terminal acts on instead of showing: C1 controls (U+009B is CSI), and the
// overrides and isolates that make it show the rest of the line in another order.
bool Invisible(char32_t point) {
    return (point >= 0x80 && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

std::string EscapeControl(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = 0;
        const std::size_t length = Utf8Sequence(text.substr(at), point);
        if (length == 0 || point < 0x20 || point == 0x7F) {
            const auto byte = static_cast<unsigned char>(text[at++]);
            shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
            continue;
        }
        if (Invisible(point)) {
            shown += {'\\', 'u', '{', kDigits[point >> 12 & 0xF], kDigits[point >> 8 & 0xF], kDigits[point >> 4 & 0xF],
                      kDigits[point & 0xF], '}'};
        } else if (point == '\\') {
            shown += "\\\\";
        } else {
            shown += text.substr(at, length);
        }
        at += length;
    }
    return shown;
}

std::string ErrnoText(int error) { return std::strerror(error); }

namespace {

// Columns are measured in characters: UTF-8 continuation bytes take no room.
std::size_t Width(std::string_view text) {
    std::size_t width = 0;
    for (char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

}  // namespace

std::string AlignColumns(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(widths[i] - Width(row[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

std::string Hex(unsigned value, bool pad) {
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (pad && text.size() < 2) text.insert(text.begin(), '0');
    return text;
}

std::string TrimmedRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace velnorcli
