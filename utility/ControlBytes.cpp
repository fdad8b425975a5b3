#include "ControlBytes.h"

#include <algorithm>

namespace velnorutility {

bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool HoldsControlBytes(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControlByte); }

std::string ShowControlBytes(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        if (!IsControlByte(c)) {
            shown.push_back(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F]};
    }
    return shown;
}

}  // namespace velnorutility
