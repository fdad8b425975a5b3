#include "BackupFile.h"

#include <algorithm>
#include <climits>

#include "ControlBytes.h"
#include "Say.h"

namespace velnorutility {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Calls visit with each maximal run of non-blanks, in order, until visit returns false. Nothing
// is gathered: a line of a million words costs no more memory than one of three.
template <typename Visit>
void ForEachWord(std::string_view line, Visit visit) {
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsSpace(line[at])) ++at;
        const std::size_t start = at;
        while (at < line.size() && !IsSpace(line[at])) ++at;
        if (at > start && !visit(line.substr(start, at - start))) return;
    }
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
std::string_view WordValue(std::string_view line) {
    std::string_view value;
    int seen = 0;
    ForEachWord(line, [&](std::string_view word) {
        value = word;
        return ++seen < 3;
    });
    return value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

BackupRead Refusal(LineRead read) { return read == LineRead::LineTooLong ? kBackupLineTooLong : kBackupTooLarge; }

}  // namespace

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

int ParseHexValues(std::string_view line, std::array<std::uint8_t, 20>& values) {
    int count = 0;
    ForEachWord(line, [&](std::string_view word) {
        const long long value = HexWordValue(word);
        if (value >= 0) {
            const auto at = static_cast<std::size_t>(count);
            if (at < values.size()) values[at] = static_cast<std::uint8_t>(value & 0xFF);
            if (count < INT_MAX) ++count;
        }
        return true;
    });
    return count;
}

BackupRead ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo, BackupLimits limits) {
    // Only "exactly eight" matters: the count stops at nine, however long the stream.
    int accepted = 0;
    const auto accept = [&accepted] { accepted = std::min(accepted + 1, 9); };
    int keyMode = 0;
    LineReader lines(in, limits.line, limits.file);
    std::string line;
    for (LineRead read; (read = lines.Next(line)) != LineRead::End;) {
        if (read != LineRead::Line) return Refusal(read);
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
            accept();
            break;
        }
        case LineKind::KeycodeHeader: {
            // The table is the next line, which is not classified itself.
            std::string table;
            const LineRead tableRead = lines.Next(table);
            if (tableRead != LineRead::Line && tableRead != LineRead::End) return Refusal(tableRead);
            const int count = tableRead == LineRead::Line ? ParseHexValues(table, values) : 0;
            std::string text;
            if (count == 14 || count == 16 || count == 20) {
                text = "Keycode Values ";
                for (int i = 0; i < count; ++i) text += EchoHex(values[static_cast<std::size_t>(i)]) + " ";
                accept();
            }
            Say(echo, text + "\n");
            if (count == TableSizeOfKeyMode(keyMode)) {
                std::copy_n(values.begin(), count, info.CodeTable.begin());
            }
            break;
        }
        case LineKind::Serial: {
            std::string serial(WordValue(line));
            if (HoldsControlBytes(serial)) return kBackupUnsafeSerial;
            const bool digitFirst = !serial.empty() && IsDigit(serial[0]);
            const bool digitSecond = serial.size() > 1 && IsDigit(serial[1]);
            if (!digitFirst && !digitSecond) serial.clear();
            Say(echo, "Serial No " + serial + "\n");
            info.SerialNumber = serial;
            accept();
            break;
        }
        case LineKind::Version:
            info.FirmwareName = WordValue(line);
            Say(echo, "Version No " + ShowControlBytes(info.FirmwareName) + "\n");
            accept();
            break;
        case LineKind::Other:
            break;
        }
    }
    return accepted == 8 ? kBackupComplete : kBackupIncomplete;
}

}  // namespace velnorutility
