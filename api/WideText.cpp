#include "WideText.h"

namespace velnor {

std::string WideToNarrow(const wchar_t* text, std::size_t capacity) {
    std::string narrow;
    for (std::size_t i = 0; i + 1 < capacity && text[i] != L'\0'; ++i) {
        const wchar_t c = text[i];
        narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : ' ');
    }
    return narrow;
}

}  // namespace velnor
