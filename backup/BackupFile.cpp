#include "BackupFile.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "ControlBytes.h"
#include "HexDigit.h"
#include "KeyCounts.h"

namespace velnorbackup {

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

// The key mode a "Velnor has N keys" line gives: the option of N keys, else N itself.
std::uint8_t KeyModeOf(std::uint8_t keys) { return OptionOfKeys(keys).value_or(keys); }

// A byte of a backup file as its echo shows it: lower-case hexadecimal of the byte widened as a
// signed 8-bit number, so 0x80 and above print as ffffff80 to ffffffff.
std::string EchoHex(std::uint8_t value) {
    char text[9];
    const auto widened = static_cast<unsigned>(static_cast<int>(static_cast<std::int8_t>(value)));
    return std::string(text, std::to_chars(text, text + sizeof text, widened, 16).ptr);
}

// Each echo line appears as soon as its line is read, in order with whatever else is printed.
void Echo(std::ostream& echo, const std::string& text) { echo << text << std::flush; }

// The lines of one hexadecimal value: their echo around the value, and the setting they give.
struct SingleValue {
    LineKind kind;
    const char* echoBefore;
    const char* echoAfter;
    std::uint8_t DEVICE_INFO::*field;
};
constexpr SingleValue kSingleValues[] = {
    {LineKind::BuzzerPeriod, "Buzzer Period ", "\n", &DEVICE_INFO::BuzzerPeriod},
    {LineKind::Buzzer, "Buzzer  ", "\n", &DEVICE_INFO::BuzzerSetting},
    {LineKind::LedBrightness, "Led Brightness ", "\n", &DEVICE_INFO::LedLevel},
    {LineKind::KeyCount, "Velnor has ", "keys \n", &DEVICE_INFO::KeyCountOption},
    {LineKind::KeypadTable, "Keypad Table ", "\n", &DEVICE_INFO::KeypadTable},
};

// Counts that cannot wrap, however long the stream.
void Bump(int& count) {
    if (count < INT_MAX) ++count;
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

BackupRead ReadBackupFile(std::istream& in, DEVICE_INFO& info, std::ostream& echo, BackupLimits limits, BackupLines* lines) {
    BackupLines found;
    int keyMode = 0;
    int number = 0;  // of the line last read
    const auto accept = [&found, &number](LineKind kind) {
        Bump(found.accepted);
        found.lastOf[static_cast<std::size_t>(kind)] = number;
    };
    LineReader reader(in, limits.line, limits.file);
    std::string line;
    for (LineRead read; (read = reader.Next(line)) != LineRead::End;) {
        if (read != LineRead::Line) return Refusal(read);
        Bump(number);
        const LineKind kind = ClassifyLine(line);
        std::array<std::uint8_t, 20> values{};
        switch (kind) {
        case LineKind::BuzzerPeriod:
        case LineKind::Buzzer:
        case LineKind::LedBrightness:
        case LineKind::KeyCount:
        case LineKind::KeypadTable: {
            if (ParseHexValues(line, values) != 1) break;
            const SingleValue& single = *std::find_if(std::begin(kSingleValues), std::end(kSingleValues),
                                                      [kind](const SingleValue& s) { return s.kind == kind; });
            Echo(echo, single.echoBefore + EchoHex(values[0]) + single.echoAfter);
            info.*single.field = kind == LineKind::KeyCount ? KeyModeOf(values[0]) : values[0];
            if (kind == LineKind::KeyCount) keyMode = info.KeyCountOption;
            accept(kind);
            break;
        }
        case LineKind::KeycodeHeader: {
            // The table is the next line, which is not classified itself.
            std::string table;
            const LineRead tableRead = reader.Next(table);
            if (tableRead != LineRead::Line && tableRead != LineRead::End) return Refusal(tableRead);
            if (tableRead == LineRead::Line) Bump(number);
            const int count = tableRead == LineRead::Line ? ParseHexValues(table, values) : 0;
            const bool stored = count == TableLengthOfOption(keyMode);
            std::string text;
            if (IsTableLength(count)) {
                text = "Keycode Values ";
                for (int i = 0; i < count; ++i) text += EchoHex(values[static_cast<std::size_t>(i)]) + " ";
                accept(kind);
                found.tableCount = count;
                found.tableStored = stored;
            }
            Echo(echo, text + "\n");
            if (stored) std::copy_n(values.begin(), count, info.CodeTable.begin());
            break;
        }
        case LineKind::Serial: {
            std::string serial(WordValue(line));
            if (HoldsControlBytes(serial)) return kBackupUnsafeSerial;
            const bool digitFirst = !serial.empty() && IsDigit(serial[0]);
            const bool digitSecond = serial.size() > 1 && IsDigit(serial[1]);
            if (!digitFirst && !digitSecond) serial.clear();
            Echo(echo, "Serial No " + serial + "\n");
            info.SerialNumber = serial;
            accept(kind);
            break;
        }
        case LineKind::Version:
            info.FirmwareName = WordValue(line);
            Echo(echo, "Version No " + ShowControlBytes(info.FirmwareName) + "\n");
            accept(kind);
            break;
        case LineKind::Other:
            break;
        }
    }
    if (lines != nullptr) *lines = found;
    return found.accepted == 8 ? kBackupComplete : kBackupIncomplete;
}

}  // namespace velnorbackup
