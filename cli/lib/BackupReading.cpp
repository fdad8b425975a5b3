#include "BackupReading.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "BackupFile.h"
#include "Text.h"

namespace velnorcli {

namespace {

using velnorutility::LineKind;

// Which line last set each setting, found by walking the lines with the reader's own
// classification and value rules. The values themselves come from the reader.
struct LineMap {
    int accepted = 0;
    int keyMode = 0;
    int keyCountLine = 0;
    int keypadTableLine = 0;
    int tableLine = 0;        // the last accepted code table
    int tableCount = 0;       // its number of values
    bool tableStored = false; // it fitted the key mode in force there
    int lineOf[8] = {};       // by LineKind, the last accepted line of that kind
};

std::uint8_t KeyModeOf(std::uint8_t keys) {
    switch (keys) {
    case 5: return 0;
    case 6: return 1;
    case 8: return 2;
    default: return keys;
    }
}

LineMap MapLines(std::istream& in) {
    LineMap map;
    std::string line;
    int number = 0;
    while (velnorutility::ReadLine(in, line)) {
        ++number;
        const LineKind kind = velnorutility::ClassifyLine(line);
        CodeTable values{};
        switch (kind) {
        case LineKind::Other:
            break;
        case LineKind::KeycodeHeader: {
            std::string table;
            const bool present = velnorutility::ReadLine(in, table);
            if (present) ++number;
            const int count = present ? velnorutility::ParseHexValues(table, values) : 0;
            if (count == 14 || count == 16 || count == 20) {
                ++map.accepted;
                map.lineOf[static_cast<int>(kind)] = number;
                map.tableLine = number;
                map.tableCount = count;
                map.tableStored = count == StoredTableLength(static_cast<std::uint8_t>(map.keyMode));
            }
            break;
        }
        case LineKind::Serial:
        case LineKind::Version:
            ++map.accepted;
            map.lineOf[static_cast<int>(kind)] = number;
            break;
        default:
            if (velnorutility::ParseHexValues(line, values) != 1) break;
            ++map.accepted;
            map.lineOf[static_cast<int>(kind)] = number;
            if (kind == LineKind::KeyCount) map.keyMode = KeyModeOf(values[0]);
            break;
        }
    }
    return map;
}

constexpr struct {
    LineKind kind;
    const char* line;
} kSettingLines[] = {
    {LineKind::Buzzer, "Buzzer"},           {LineKind::BuzzerPeriod, "Buzzer Period"},
    {LineKind::KeypadTable, "Keypad Table"}, {LineKind::LedBrightness, "Led Brightness"},
    {LineKind::KeyCount, "Velnor has"},     {LineKind::Serial, "Serial"},
    {LineKind::KeycodeHeader, "Keycode values"},
};

std::optional<BackupRefusal> Refusal(const LineMap& map, int readerResult, const DEVICE_INFO& record) {
    std::string missing;
    for (const auto& setting : kSettingLines) {
        if (map.lineOf[static_cast<int>(setting.kind)] == 0) missing += std::string(missing.empty() ? "" : ", ") + setting.line;
    }
    if (readerResult != 0) {
        std::string reason = "VelnorUtility -b refuses it: " + std::to_string(map.accepted) +
                             " lines of settings accepted where eight are needed";
        if (!missing.empty()) reason += " (no valid line: " + missing + ")";
        return BackupRefusal{reason, 0};
    }
    if (!missing.empty()) {
        return BackupRefusal{"no valid line gives " + missing + ": a restore would write 0 or nothing there", 0};
    }
    if (!KeysOfOption(record.KeyCountOption)) {
        return BackupRefusal{"a key count other than 5, 6 or 8 (a restore would store no code table)", map.keyCountLine};
    }
    const int needed = StoredTableLength(record.KeyCountOption);
    if (map.tableCount != needed) {
        return BackupRefusal{"a code table of " + std::to_string(map.tableCount) + " values where " +
                                 std::to_string(*KeysOfOption(record.KeyCountOption)) + " keys take " +
                                 std::to_string(needed) + " (a restore would leave the table all zeros)",
                             map.tableLine};
    }
    if (!map.tableStored) {
        return BackupRefusal{"the code table comes before the line that gives the key count, so the reader stores "
                             "none (a restore would leave the table all zeros)",
                             map.tableLine};
    }
    if (record.KeypadTable > 2) {
        return BackupRefusal{"a keypad table above 2, which the keypad refuses (a restore would keep the old one)",
                             map.keypadTableLine};
    }
    return std::nullopt;
}

}  // namespace

BackupReading ReadBackup(std::istream& in) {
    BackupContent content;
    std::ostringstream echo;  // the reader's echo lines are not shown
    echo.setstate(std::ios::badbit);
    const int result = velnorutility::ReadBackupFile(in, content.record, echo);
    in.clear();
    in.seekg(0);
    LineMap map = MapLines(in);
    map.keyCountLine = map.lineOf[static_cast<int>(LineKind::KeyCount)];
    map.keypadTableLine = map.lineOf[static_cast<int>(LineKind::KeypadTable)];
    if (auto refusal = Refusal(map, result, content.record)) return *refusal;
    content.settings = SettingsAfterRestore(content.record);
    return content;
}

std::variant<BackupContent, Failure> ReadBackupPath(const std::string& path) {
    const std::string shown = EscapeControl(path);
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(errno)};
    if (!S_ISREG(facts.st_mode)) return Failure{kFileProblem, "cannot read " + shown + ": not a regular file"};
    if (facts.st_size > kLargestBackup) {
        return Failure{kFileProblem, "refused " + shown + ": larger than a backup file can be (1 MiB)"};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(errno)};
    BackupReading reading = ReadBackup(in);
    if (auto* refusal = std::get_if<BackupRefusal>(&reading)) {
        std::string where = refusal->line > 0 ? ", line " + std::to_string(refusal->line) : "";
        return Failure{kFileProblem, "refused " + shown + where + ": " + refusal->reason};
    }
    return std::get<BackupContent>(std::move(reading));
}

}  // namespace velnorcli
