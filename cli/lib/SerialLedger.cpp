#include "SerialLedger.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "UtcTime.h"

namespace velnorcli {

namespace {

constexpr std::size_t kLongestSerial = 16;  // what a keypad's status reply carries
constexpr std::size_t kLongestFile = 16 * 1024 * 1024;

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
    return text;
}

// The next word of `text` (blanks or tabs between words), taken off its front.
std::string_view NextWord(std::string_view& text) {
    text = Trim(text);
    std::size_t end = 0;
    while (end < text.size() && !Blank(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ++number;
        // A last line without its line end may be torn: the record only counts whole lines.
        each(text.substr(0, end), number, end != std::string_view::npos);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

const char* StateName(SerialState state) {
    switch (state) {
    case SerialState::Taking: return "taking";
    case SerialState::Taken: return "taken";
    case SerialState::Returned: return "returned";
    }
    return "?";
}

std::optional<SerialState> StateNamed(std::string_view name) {
    for (SerialState state : {SerialState::Taking, SerialState::Taken, SerialState::Returned}) {
        if (name == StateName(state)) return state;
    }
    return std::nullopt;
}

// A whole regular file of at most kLongestFile bytes; false with errno set otherwise.
bool ReadWhole(int fd, std::string& text) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kLongestFile) {
        errno = EFBIG;
        return false;
    }
    text.clear();
    char buffer[65536];
    for (ssize_t count; (count = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) != 0;) {
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.size() > kLongestFile) {
            errno = EFBIG;
            return false;
        }
    }
    return true;
}

bool ReadFile(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool read = ReadWhole(fd, text);
    const int error = errno;
    close(fd);
    errno = error;
    return read;
}

// Appends one whole line with one write and makes it durable.
bool AppendLine(int fd, const std::string& line) {
    ssize_t written = 0;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
}

std::string Problem(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string Writer() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "?");
    return std::string(host) + ":" + std::to_string(getpid());
}

std::string Now() { return UtcTime(std::chrono::system_clock::now(), true); }

// The record, opened for appending and locked (flock: also against the other threads of this
// process, which open it apart) for as long as it lives.
class LockedRecord {
public:
    explicit LockedRecord(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                close(fd_);
                fd_ = -1;
                errno = error;
                return;
            }
        }
    }
    ~LockedRecord() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    LockedRecord(const LockedRecord&) = delete;
    LockedRecord& operator=(const LockedRecord&) = delete;

    bool Ok() const { return fd_ >= 0; }
    bool Read(std::string& text) const { return ReadWhole(fd_, text); }
    // A torn last line (a crash while writing) is ended first, so that it stays one bad line.
    bool Append(const std::string& text, const std::string& line) const {
        if (!text.empty() && text.back() != '\n' && !AppendLine(fd_, "\n")) return false;
        return AppendLine(fd_, line);
    }

private:
    int fd_ = -1;
};

}  // namespace

SerialList ParseSerialList(std::string_view text) {
    SerialList list;
    ForEachLine(text, [&](std::string_view line, std::size_t number, bool) {
        const std::string_view serial = Trim(line);
        if (!list.refusal.empty() || serial.empty() || serial.front() == '#') return;
        const bool readable = std::all_of(serial.begin(), serial.end(), [](char c) {
            return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) != 0x7F;
        });
        if (!readable) {
            list.refusal = "line " + std::to_string(number) + ": a serial number with a blank or a control character";
        } else if (serial.size() > kLongestSerial) {
            list.refusal = "line " + std::to_string(number) + ": a serial number longer than " +
                           std::to_string(kLongestSerial) + " characters";
        } else {
            list.serials.emplace_back(serial);
        }
    });
    if (list.refusal.empty() && list.serials.empty()) list.refusal = "it holds no serial number";
    return list;
}

std::map<std::string, RecordEntry> ParseRecord(std::string_view text) {
    std::map<std::string, RecordEntry> record;
    ForEachLine(text, [&](std::string_view line, std::size_t, bool whole) {
        std::string_view rest = line;
        const std::string_view serial = NextWord(rest);
        const std::optional<SerialState> state = StateNamed(NextWord(rest));
        if (!whole || serial.empty() || !state) return;
        NextWord(rest);  // the time
        const std::string_view writer = NextWord(rest);
        record[std::string(serial)] = RecordEntry{*state, std::string(writer), std::string(Trim(rest)), std::string(line)};
    });
    return record;
}

std::vector<std::string> FreeSerials(const std::vector<std::string>& serials,
                                     const std::map<std::string, RecordEntry>& record) {
    std::vector<std::string> free;
    for (const std::string& serial : serials) {
        const auto found = record.find(serial);
        const bool usable = found == record.end() || found->second.state == SerialState::Returned;
        if (usable && std::find(free.begin(), free.end(), serial) == free.end()) free.push_back(serial);
    }
    return free;
}

std::string RecordLine(const std::string& serial, SerialState state, const std::string& utcTime,
                       const std::string& writer, const std::string& keypad) {
    std::string where = keypad;
    for (char& c : where) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return serial + "\t" + StateName(state) + "\t" + utcTime + "\t" + writer + "\t" + where + "\n";
}

SerialLedger::SerialLedger(std::string listPath) : listPath_(std::move(listPath)), recordPath_(listPath_ + ".taken") {}

std::string SerialLedger::Check() const {
    std::string text;
    if (!ReadFile(listPath_, text)) return Problem("cannot read the serial list", listPath_);
    const SerialList list = ParseSerialList(text);
    if (!list.refusal.empty()) return "serial list " + listPath_ + ": " + list.refusal;
    const int fd = open(recordPath_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return Problem("cannot write the record of taken serials", recordPath_);
    close(fd);
    return {};
}

std::optional<std::string> SerialLedger::Take(const std::string& keypad, std::string& error) {
    std::string listText;
    if (!ReadFile(listPath_, listText)) {
        error = Problem("cannot read the serial list", listPath_);
        return std::nullopt;
    }
    const SerialList list = ParseSerialList(listText);
    if (!list.refusal.empty()) {
        error = "serial list " + listPath_ + ": " + list.refusal;
        return std::nullopt;
    }
    const LockedRecord record(recordPath_);
    std::string recordText;
    if (!record.Ok() || !record.Read(recordText)) {
        error = Problem("cannot use the record of taken serials", recordPath_);
        return std::nullopt;
    }
    const std::vector<std::string> free = FreeSerials(list.serials, ParseRecord(recordText));
    if (free.empty()) {
        error = "every serial number of " + listPath_ + " is taken (or its outcome unknown)";
        return std::nullopt;
    }
    if (!record.Append(recordText, RecordLine(free.front(), SerialState::Taking, Now(), Writer(), keypad))) {
        error = Problem("cannot record the serial taken in", recordPath_);
        return std::nullopt;
    }
    return free.front();
}

std::string SerialLedger::Settle(const std::string& serial, SerialState outcome, const std::string& keypad) {
    const LockedRecord record(recordPath_);
    std::string recordText;
    if (!record.Ok() || !record.Read(recordText) ||
        !record.Append(recordText, RecordLine(serial, outcome, Now(), Writer(), keypad))) {
        return Problem("cannot record what became of serial " + serial + " in", recordPath_);
    }
    return {};
}

std::vector<std::string> SerialLedger::Free(std::string& error) const {
    std::string listText;
    std::string recordText;
    if (!ReadFile(listPath_, listText)) {
        error = Problem("cannot read the serial list", listPath_);
        return {};
    }
    if (!ReadFile(recordPath_, recordText) && errno != ENOENT) {
        error = Problem("cannot read the record of taken serials", recordPath_);
        return {};
    }
    return FreeSerials(ParseSerialList(listText).serials, ParseRecord(recordText));
}

bool SerialLedger::TakenBy(const std::string& serial, const std::string& keypad) const {
    std::string recordText;
    if (!ReadFile(recordPath_, recordText)) return false;
    const std::map<std::string, RecordEntry> record = ParseRecord(recordText);
    const auto found = record.find(serial);
    return found != record.end() && found->second.state == SerialState::Taken && found->second.keypad == keypad;
}

std::vector<std::string> SerialLedger::Unknown() const {
    std::string recordText;
    if (!ReadFile(recordPath_, recordText)) return {};
    const std::string self = Writer();
    const std::string host = self.substr(0, self.rfind(':'));
    std::vector<std::string> unknown;
    for (const auto& [serial, entry] : ParseRecord(recordText)) {
        if (entry.state != SerialState::Taking) continue;
        // A velnor of another host may still be at work; one of this host is, while its
        // process runs.
        const std::size_t colon = entry.writer.rfind(':');
        if (colon == std::string::npos || entry.writer.substr(0, colon) != host) continue;
        const long pid = std::strtol(entry.writer.c_str() + colon + 1, nullptr, 10);
        if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
        unknown.push_back(entry.line);
    }
    return unknown;
}

}  // namespace velnorcli
