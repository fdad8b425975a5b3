#include "Text.h"

#include <cstring>

namespace velnorcli {

std::string ErrnoText(int error) { return std::strerror(error); }

namespace {

constexpr char kDigits[] = "0123456789abcdef";

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
        text += TrimmedRight(std::move(line)) + "\n";
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
