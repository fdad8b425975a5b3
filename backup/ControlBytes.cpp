#include "ControlBytes.h"

#include <algorithm>

namespace velnorbackup {

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

// Bytes one at a time, or (`utf8`) characters, with what each program escapes.
std::string Escaped(std::string_view text, bool utf8) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8 ? Utf8Sequence(text.substr(at), point) : 1;
        if (length == 0 || point < 0x20 || point == 0x7F) {
            const auto byte = static_cast<unsigned char>(text[at++]);
            shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
            continue;
        }
        if (utf8 && Invisible(point)) {
            shown += {'\\', 'u', '{', kDigits[point >> 12 & 0xF], kDigits[point >> 8 & 0xF], kDigits[point >> 4 & 0xF],
                      kDigits[point & 0xF], '}'};
        } else if (utf8 && point == '\\') {
            shown += "\\\\";
        } else {
            shown += text.substr(at, length);
        }
        at += length;
    }
    return shown;
}

}  // namespace

bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool HoldsControlBytes(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControlByte); }

std::string ShowControlBytes(std::string_view text) { return Escaped(text, false); }

std::string EscapeControl(std::string_view text) { return Escaped(text, true); }

}  // namespace velnorbackup
