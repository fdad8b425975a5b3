#include "BackupReading.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "BackupFile.h"
#include "LineReader.h"
#include "Text.h"
#include "Waiting.h"

namespace velnorcli {

namespace {

using velnorutility::LineKind;

// The longest serial number PlixoApi::SetSerialNumber sends (what one length field announces).
// It refuses a longer one with -9998: a restore would fail after writing the settings before it.
constexpr std::size_t kLongestSerialSent = 255;

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

// The reader has read the whole stream without refusing it, so every line fits here too.
LineMap MapLines(std::istream& in) {
    LineMap map;
    velnorutility::LineReader lines(in, velnorutility::kLineCapacity, velnorutility::kBackupFileCapacity);
    std::string line;
    int number = 0;
    while (lines.Next(line) == velnorutility::LineRead::Line) {
        ++number;
        const LineKind kind = velnorutility::ClassifyLine(line);
        CodeTable values{};
        switch (kind) {
        case LineKind::Other:
            break;
        case LineKind::KeycodeHeader: {
            std::string table;
            const bool present = lines.Next(table) == velnorutility::LineRead::Line;
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
            if (kind == LineKind::KeyCount) map.keyMode = velnorutility::KeyModeOf(values[0]);
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

std::optional<BackupRefusal> Refusal(const LineMap& map, velnorutility::BackupRead readerResult, const DEVICE_INFO& record) {
    std::string missing;
    for (const auto& setting : kSettingLines) {
        if (map.lineOf[static_cast<int>(setting.kind)] == 0) missing += std::string(missing.empty() ? "" : ", ") + setting.line;
    }
    if (readerResult != velnorutility::kBackupComplete) {
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
    if (record.SerialNumber.size() > kLongestSerialSent) {
        return BackupRefusal{"a serial number of " + std::to_string(record.SerialNumber.size()) + " characters, which cannot be sent to " +
                                 "the keypad (at most " + std::to_string(kLongestSerialSent) + ")",
                             map.lineOf[static_cast<int>(LineKind::Serial)]};
    }
    if (record.KeypadTable > 2) {
        return BackupRefusal{"a keypad table above 2, which the keypad refuses (a restore would keep the old one)",
                             map.keypadTableLine};
    }
    return std::nullopt;
}

bool Readable(const struct stat& facts) { return S_ISREG(facts.st_mode) || S_ISFIFO(facts.st_mode); }

// Reads `fd` to its end or to `most` bytes. Read once: a pipe cannot be read again. poll waits
// for a pipe's writer in slices that a stop ends (a pipe reports nothing before its first
// writer, where a read would already say end of file).
Readiness ReadAtMost(int fd, std::size_t most, std::string& text, const std::atomic<bool>* stop) {
    char buffer[65536];
    while (text.size() < most) {
        if (const Readiness ready = AwaitReady(fd, POLLIN, stop); ready != Readiness::Ready) return ready;
        const ssize_t count = read(fd, buffer, std::min(sizeof buffer, most - text.size()));
        if (count == 0) break;
        if (count < 0 && errno != EAGAIN && errno != EINTR) return Readiness::Failed;
        if (count > 0) text.append(buffer, static_cast<std::size_t>(count));
    }
    return Readiness::Ready;
}

}  // namespace

BackupReading ReadBackup(std::istream& in) {
    BackupContent content;
    std::ostringstream echo;  // the reader's echo lines are not shown
    echo.setstate(std::ios::badbit);
    const velnorutility::BackupRead result = velnorutility::ReadBackupFile(in, content.record, echo);
    switch (result) {
    case velnorutility::kBackupTooLarge:
        return BackupRefusal{"VelnorUtility -b refuses it: larger than " + std::to_string(velnorutility::kBackupFileCapacity) +
                             " bytes"};
    case velnorutility::kBackupLineTooLong:
        return BackupRefusal{"VelnorUtility -b refuses it: a line longer than " +
                             std::to_string(velnorutility::kLineCapacity) + " characters"};
    case velnorutility::kBackupUnsafeSerial:
        return BackupRefusal{"VelnorUtility -b refuses it: the serial number holds control characters"};
    default:
        break;
    }
    in.clear();
    in.seekg(0);
    LineMap map = MapLines(in);
    map.keyCountLine = map.lineOf[static_cast<int>(LineKind::KeyCount)];
    map.keypadTableLine = map.lineOf[static_cast<int>(LineKind::KeypadTable)];
    if (auto refusal = Refusal(map, result, content.record)) return *refusal;
    content.settings = SettingsAfterRestore(content.record);
    return content;
}

Result<BackupContent> ReadBackupPath(const std::string& path, const std::atomic<bool>* stop) {
    const std::string shown = EscapeControl(path);
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(errno)};
    // What VelnorUtility -b opens: a regular file or a pipe, never a device or a folder; looked
    // at before opening (a device is never opened) and again after.
    const Failure other{kFileProblem, "cannot read " + shown + ": not a regular file or a pipe"};
    if (!Readable(facts)) return other;
    // O_NONBLOCK: opening a pipe that no process writes yet does not wait for one.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(errno)};
    std::string text;
    const bool readable = fstat(fd, &facts) == 0 && Readable(facts);
    const Readiness waited = readable ? ReadAtMost(fd, velnorutility::kBackupFileCapacity + 1, text, stop) : Readiness::Failed;
    const int error = errno;
    close(fd);
    if (!readable) return other;
    if (waited == Readiness::Failed) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(error)};
    if (waited == Readiness::Stopped) {
        return Failure{kInterrupted, "interrupted while waiting for " + shown + " to be written; nothing was written to a keypad"};
    }
    std::istringstream content(text);
    BackupReading reading = ReadBackup(content);
    if (auto* refusal = std::get_if<BackupRefusal>(&reading)) {
        std::string where = refusal->line > 0 ? ", line " + std::to_string(refusal->line) : "";
        return Failure{kFileProblem, "refused " + shown + where + ": " + refusal->reason};
    }
    BackupContent read = std::get<BackupContent>(std::move(reading));
    read.bytes = std::move(text);
    return read;
}

}  // namespace velnorcli
