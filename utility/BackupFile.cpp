#include "BackupFile.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "Say.h"

namespace velnorutility {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsSpace(line[at])) ++at;
        const std::size_t start = at;
        while (at < line.size() && !IsSpace(line[at])) ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The word as a hexadecimal number, saturating at the largest signed 32-bit value; -1 when it
// is not a hexadecimal word.
long long HexWordValue(std::string_view word) {
    long long value = 0;
    for (char c : word) {
        const int digit = HexDigit(c);
        if (digit < 0) return -1;
        value = std::min<long long>(value * 16 + digit, INT_MAX);
    }
    return value;
}

// The third word of the line, or its last when it has fewer.
std::string WordValue(std::string_view line) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) return {};
    return std::string(words.size() >= 3 ? words[2] : words.back());
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How many code-table values a key mode takes; 0 for a mode that takes none.
int TableSizeOfKeyMode(int keyMode) {
    switch (keyMode) {
    case 0: return 14;
    case 1: return 16;
    case 2: return 20;
    default: return 0;
    }
}

std::uint8_t KeyModeOf(std::uint8_t keys) {
    switch (keys) {
    case 5: return 0;
    case 6: return 1;
    case 8: return 2;
    default: return keys;
    }
}

}  // namespace

LineKind ClassifyLine(std::string_view line) {
    static constexpr struct {
        std::string_view prefix;
        LineKind kind;
    } kKinds[] = {
        {"Buzzer Period", LineKind::BuzzerPeriod}, {"Buzzer", LineKind::Buzzer},
        {"Led Brightness", LineKind::LedBrightness}, {"Velnor has", LineKind::KeyCount},
        {"Keypad Table", LineKind::KeypadTable},   {"Keycode values", LineKind::KeycodeHeader},
        {"Serial", LineKind::Serial},              {"Version", LineKind::Version},
    };
    for (const auto& entry : kKinds) {
        if (line.substr(0, entry.prefix.size()) == entry.prefix) return entry.kind;
    }
    return LineKind::Other;
}

bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

int ParseHexValues(std::string_view line, std::array<std::uint8_t, 20>& values) {
    int count = 0;
    for (std::string_view word : Words(line)) {
        const long long value = HexWordValue(word);
        if (value < 0) continue;
        if (static_cast<std::size_t>(count) < values.size()) values[static_cast<std::size_t>(count)] = static_cast<std::uint8_t>(value & 0xFF);
        ++count;
    }
    return count;
}

int ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo) {
    int accepted = 0;
    int keyMode = 0;
    std::string line;
    while (ReadLine(in, line)) {
        const LineKind kind = ClassifyLine(line);
        std::array<std::uint8_t, 20> values{};
        switch (kind) {
        case LineKind::BuzzerPeriod:
        case LineKind::Buzzer:
        case LineKind::LedBrightness:
        case LineKind::KeyCount:
        case LineKind::KeypadTable: {
            if (ParseHexValues(line, values) != 1) break;
            const std::uint8_t value = values[0];
            switch (kind) {
            case LineKind::BuzzerPeriod:
                Say(echo, "Buzzer Period " + EchoHex(value) + "\n");
                info.BuzzerPeriod = value;
                break;
            case LineKind::Buzzer:
                Say(echo, "Buzzer  " + EchoHex(value) + "\n");
                info.BuzzerSetting = value;
                break;
            case LineKind::LedBrightness:
                Say(echo, "Led Brightness " + EchoHex(value) + "\n");
                info.LedLevel = value;
                break;
            case LineKind::KeyCount:
                Say(echo, "Velnor has " + EchoHex(value) + "keys \n");
                info.KeyCountOption = KeyModeOf(value);
                keyMode = info.KeyCountOption;
                break;
            default:
                Say(echo, "Keypad Table " + EchoHex(value) + "\n");
                info.KeypadTable = value;
                break;
            }
            ++accepted;
            break;
        }
        case LineKind::KeycodeHeader: {
            // The table is the next line, which is not classified itself.
            std::string table;
            const int count = ReadLine(in, table) ? ParseHexValues(table, values) : 0;
            std::string text;
            if (count == 14 || count == 16 || count == 20) {
                text = "Keycode Values ";
                for (int i = 0; i < count; ++i) text += EchoHex(values[static_cast<std::size_t>(i)]) + " ";
                ++accepted;
            }
            Say(echo, text + "\n");
            if (count == TableSizeOfKeyMode(keyMode)) {
                std::copy_n(values.begin(), count, info.CodeTable.begin());
            }
            break;
        }
        case LineKind::Serial: {
            std::string serial = WordValue(line);
            const bool digitFirst = !serial.empty() && IsDigit(serial[0]);
            const bool digitSecond = serial.size() > 1 && IsDigit(serial[1]);
            if (!digitFirst && !digitSecond) serial.clear();
            Say(echo, "Serial No " + serial + "\n");
            info.SerialNumber = serial;
            ++accepted;
            break;
        }
        case LineKind::Version:
            info.FirmwareName = WordValue(line);
            Say(echo, "Version No " + info.FirmwareName + "\n");
            ++accepted;
            break;
        case LineKind::Other:
            break;
        }
    }
    return accepted == 8 ? 0 : 1;
}

}  // namespace velnorutility
