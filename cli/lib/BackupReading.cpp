#include "BackupReading.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "BackupFile.h"
#include "Text.h"
#include "Waiting.h"

namespace velnorcli {

namespace {

using velnorbackup::BackupLines;
using velnorbackup::LineKind;

// The longest serial number PlixoApi::SetSerialNumber sends (what one length field announces).
// It refuses a longer one with -9998: a restore would fail after writing the settings before it.
constexpr std::size_t kLongestSerialSent = 255;

constexpr struct {
    LineKind kind;
    const char* line;
} kSettingLines[] = {
    {LineKind::Buzzer, "Buzzer"},           {LineKind::BuzzerPeriod, "Buzzer Period"},
    {LineKind::KeypadTable, "Keypad Table"}, {LineKind::LedBrightness, "Led Brightness"},
    {LineKind::KeyCount, "Velnor has"},     {LineKind::Serial, "Serial"},
    {LineKind::KeycodeHeader, "Keycode values"},
};

// Why a file is refused: the reason, and the line that causes it (0 when no one line does).
struct BackupRefusal {
    std::string reason;
    int line = 0;
};

std::optional<BackupRefusal> Refusal(const BackupLines& lines, velnorbackup::BackupRead readerResult, const DEVICE_INFO& record) {
    std::string missing;
    for (const auto& setting : kSettingLines) {
        if (lines.LastOf(setting.kind) == 0) missing += std::string(missing.empty() ? "" : ", ") + setting.line;
    }
    if (readerResult != velnorbackup::kBackupComplete) {
        std::string reason = "VelnorUtility -b refuses it: " + std::to_string(lines.accepted) +
                             " lines of settings accepted where eight are needed";
        if (!missing.empty()) reason += " (no valid line: " + missing + ")";
        return BackupRefusal{reason, 0};
    }
    if (!missing.empty()) {
        return BackupRefusal{"no valid line gives " + missing + ": a restore would write 0 or nothing there", 0};
    }
    if (!KeysOfOption(record.KeyCountOption)) {
        return BackupRefusal{"a key count other than 5, 6 or 8 (a restore would store no code table)",
                             lines.LastOf(LineKind::KeyCount)};
    }
    const int needed = TableLengthOfOption(record.KeyCountOption);
    const int tableLine = lines.LastOf(LineKind::KeycodeHeader);
    if (lines.tableCount != needed) {
        return BackupRefusal{"a code table of " + std::to_string(lines.tableCount) + " values where " +
                                 std::to_string(*KeysOfOption(record.KeyCountOption)) + " keys take " +
                                 std::to_string(needed) + " (a restore would leave the table all zeros)",
                             tableLine};
    }
    if (!lines.tableStored) {
        return BackupRefusal{"the code table comes before the line that gives the key count, so the reader stores "
                             "none (a restore would leave the table all zeros)",
                             tableLine};
    }
    if (record.SerialNumber.size() > kLongestSerialSent) {
        return BackupRefusal{"a serial number of " + std::to_string(record.SerialNumber.size()) + " characters, which cannot be sent to " +
                                 "the keypad (at most " + std::to_string(kLongestSerialSent) + ")",
                             lines.LastOf(LineKind::Serial)};
    }
    if (record.KeypadTable > 2) {
        return BackupRefusal{"a keypad table above 2, which the keypad refuses (a restore would keep the old one)",
                             lines.LastOf(LineKind::KeypadTable)};
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

Result<BackupContent> ReadBackup(std::istream& in, const std::string& name) {
    const auto refused = [&name](const BackupRefusal& refusal) {
        const std::string where = refusal.line > 0 ? ", line " + std::to_string(refusal.line) : "";
        return Failure{kFileProblem, "refused " + name + where + ": " + refusal.reason,
                       "velnor(1), BACKUP FILES THAT ARE REFUSED, gives the rules; velnor backup writes a file that keeps them"};
    };
    BackupContent content;
    std::ostringstream echo;  // the reader's echo lines are not shown
    echo.setstate(std::ios::badbit);
    BackupLines lines;
    const velnorbackup::BackupRead result = velnorbackup::ReadBackupFile(in, content.record, echo, {}, &lines);
    switch (result) {
    case velnorbackup::kBackupTooLarge:
        return refused({"VelnorUtility -b refuses it: larger than " + std::to_string(velnorbackup::kBackupFileCapacity) +
                        " bytes"});
    case velnorbackup::kBackupLineTooLong:
        return refused({"VelnorUtility -b refuses it: a line longer than " +
                        std::to_string(velnorbackup::kLineCapacity) + " characters"});
    case velnorbackup::kBackupUnsafeSerial:
        return refused({"VelnorUtility -b refuses it: the serial number holds control characters"});
    default:
        break;
    }
    if (auto refusal = Refusal(lines, result, content.record)) return refused(*refusal);
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
    const Readiness waited = readable ? ReadAtMost(fd, velnorbackup::kBackupFileCapacity + 1, text, stop) : Readiness::Failed;
    const int error = errno;
    close(fd);
    if (!readable) return other;
    if (waited == Readiness::Failed) return Failure{kFileProblem, "cannot read " + shown + ": " + ErrnoText(error)};
    if (waited == Readiness::Stopped) {
        return Failure{kInterrupted, "interrupted while waiting for " + shown + " to be written; nothing was written to a keypad"};
    }
    std::istringstream content(text);
    Result<BackupContent> read = ReadBackup(content, shown);
    if (read) read->bytes = std::move(text);
    return read;
}

}  // namespace velnorcli
