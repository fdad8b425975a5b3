#include "SerialLedger.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>
#include <unordered_set>
#include <utility>

#include "Text.h"
#include "UtcTime.h"
#include "Waiting.h"
#include "WriteAll.h"

namespace velnorcli {

namespace {

constexpr std::size_t kLongestSerial = 16;  // what a keypad's status reply carries
// Far longer than any line velnor writes; a longer one is cut there, so that memory stays bounded.
constexpr std::size_t kLongestLine = 8192;
constexpr auto kTellWaitAfter = std::chrono::seconds(1);

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

// Unended: the last line, without its line end (the record counts it as torn by a crash).
enum class LineEnd { Whole, Unended, TooLong };

// Hands the lines of a text that comes in pieces to each(line, number, end), each line once.
template <typename Each>
class LineSplitter {
public:
    explicit LineSplitter(Each& each) : each_(each) {}

    void Feed(std::string_view piece) {
        for (std::size_t end; (end = piece.find('\n')) != std::string_view::npos; piece.remove_prefix(end + 1)) {
            const std::string_view line = piece.substr(0, end);
            if (pending_.empty() && !cut_ && line.size() <= kLongestLine) {
                each_(line, ++number_, LineEnd::Whole);
                continue;
            }
            Keep(line);
            each_(std::string_view(pending_), ++number_, cut_ ? LineEnd::TooLong : LineEnd::Whole);
            pending_.clear();
            cut_ = false;
        }
        Keep(piece);
    }
    void End() {
        if (!pending_.empty() || cut_) each_(std::string_view(pending_), ++number_, cut_ ? LineEnd::TooLong : LineEnd::Unended);
    }

private:
    void Keep(std::string_view part) {
        const std::size_t room = kLongestLine - pending_.size();
        if (part.size() > room) {
            cut_ = true;
            part = part.substr(0, room);
        }
        pending_.append(part);
    }

    Each& each_;
    std::string pending_;  // a line begun in an earlier piece
    bool cut_ = false;
    std::size_t number_ = 0;
};

template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    LineSplitter<Each> lines(each);
    lines.Feed(text);
    lines.End();
}

// A file descriptor, closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);  // also releases its lock
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads a regular file from its start to its end, line by line; false with errno set when a
// read fails.
template <typename Each>
bool ReadLines(const Descriptor& file, Each each) {
    LineSplitter<Each> lines(each);
    std::vector<char> buffer(std::size_t{1} << 16);
    for (off_t offset = 0;;) {
        const ssize_t count = pread(file.get(), buffer.data(), buffer.size(), offset);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) break;
        lines.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
        offset += count;
    }
    lines.End();
    return true;
}

// `name`: how messages name the file ("the serial list").
Failure FileProblem(const std::string& verb, const std::string& name, const std::string& path, int error) {
    return Failure{kFileProblem, "cannot " + verb + " " + name + " " + EscapeControl(path) + ": " + std::strerror(error)};
}

// Opens a file that must be a regular file (with O_CREAT it may not exist yet). It is looked at
// before opening, so that a device is never opened, and again after, on what was opened;
// O_NONBLOCK keeps a pipe or a file under a lease from holding the open up.
std::variant<Descriptor, Failure> OpenRegular(const std::string& path, int flags, const std::string& verb,
                                              const std::string& name) {
    const auto notRegular = [&] { return Failure{kFileProblem, name + " " + EscapeControl(path) + " is not a regular file"}; };
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return notRegular();
    Descriptor file(open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    if (file.get() < 0) return FileProblem(verb, name, path, errno);
    if (fstat(file.get(), &info) != 0) return FileProblem(verb, name, path, errno);
    if (!S_ISREG(info.st_mode)) return notRegular();
    return file;
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

// One whole record line, as views into it.
struct RecordEntry {
    std::string_view serial;
    SerialState state;
    std::string_view writer;  // HOST:PID of the velnor that wrote it ("" when not given)
    std::string_view keypad;  // "" when not given
};

std::optional<RecordEntry> ParseRecordLine(std::string_view line, LineEnd end) {
    std::string_view rest = line;
    const std::string_view serial = NextWord(rest);
    const std::optional<SerialState> state = StateNamed(NextWord(rest));
    if (end != LineEnd::Whole || serial.empty() || !state) return std::nullopt;
    NextWord(rest);  // the time
    const std::string_view writer = NextWord(rest);
    return RecordEntry{serial, *state, writer, Trim(rest)};
}

// Calls each(entry) for every record line, in order.
template <typename Each>
auto RecordEntries(Each each) {
    return [each](std::string_view line, std::size_t, LineEnd end) mutable {
        if (const std::optional<RecordEntry> entry = ParseRecordLine(line, end)) each(*entry);
    };
}

auto StatesInto(RecordStates& states) {
    return RecordEntries([&states](const RecordEntry& entry) { states.insert_or_assign(std::string(entry.serial), entry.state); });
}

auto ListInto(SerialList& list) {
    return [&list](std::string_view line, std::size_t number, LineEnd end) {
        const std::string_view serial = Trim(line);
        if (!list.refusal.empty() || serial.empty() || serial.front() == '#') return;
        const bool readable = std::all_of(serial.begin(), serial.end(), [](char c) {
            return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) != 0x7F;
        });
        if (!readable) {
            list.refusal = "line " + std::to_string(number) + ": a serial number with a blank or a control character";
        } else if (serial.size() > kLongestSerial || end == LineEnd::TooLong) {
            list.refusal = "line " + std::to_string(number) + ": a serial number longer than " +
                           std::to_string(kLongestSerial) + " characters";
        } else {
            list.serials.emplace_back(serial);
        }
    };
}

void Conclude(SerialList& list) {
    if (list.refusal.empty() && list.serials.empty()) list.refusal = "it holds no serial number";
}

const std::string kListName = "the serial list";
const std::string kRecordName = "the record of taken serials";

std::variant<SerialList, Failure> ReadList(const std::string& path) {
    auto file = OpenRegular(path, O_RDONLY, "read", kListName);
    if (auto* failure = std::get_if<Failure>(&file)) return *failure;
    SerialList list;
    if (!ReadLines(std::get<Descriptor>(file), ListInto(list))) return FileProblem("read", kListName, path, errno);
    Conclude(list);
    if (!list.refusal.empty()) return Failure{kFileProblem, "serial list " + EscapeControl(path) + ": " + list.refusal};
    return list;
}

std::string Writer() {
    const std::string host = HostName();
    return (host.empty() ? "?" : host) + ":" + std::to_string(getpid());
}

std::string Now() { return UtcTime(std::chrono::system_clock::now(), true); }

// Who holds the lock on an open file, as a message names it; `self` when it is this process.
struct Holder {
    std::string text;
    bool self = false;
};

Holder HolderOf(const Descriptor& file) {
    struct stat info {};
    std::ifstream locks("/proc/locks");
    const std::string text(std::istreambuf_iterator<char>(locks), {});
    const std::optional<pid_t> pid = fstat(file.get(), &info) == 0
                                         ? FlockHolder(text, major(info.st_dev), minor(info.st_dev), info.st_ino)
                                         : std::nullopt;
    if (!pid) return {"a process that /proc/locks does not show (one of another host sharing the file?)"};
    if (*pid == getpid()) return {"this velnor (for another keypad)", true};
    std::ifstream commFile("/proc/" + std::to_string(*pid) + "/comm");
    std::string comm;
    std::getline(commFile, comm);
    return {"process " + std::to_string(*pid) + (comm.empty() ? "" : " (" + comm + ")")};
}

// The record, opened for appending (made when missing) and locked with flock, which also
// excludes the other threads of this process (each opens the record apart). The lock is tried
// in slices rather than waited for, so that a stop ends the wait; no other lock is held meanwhile.
std::variant<Descriptor, Failure> LockRecord(const std::string& path, const LedgerWait& wait) {
    auto opened = OpenRegular(path, O_RDWR | O_CREAT | O_APPEND, "use", kRecordName);
    if (auto* failure = std::get_if<Failure>(&opened)) return *failure;
    Descriptor file = std::get<Descriptor>(std::move(opened));
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    while (flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return FileProblem("lock", kRecordName, path, errno);
        if (StopRequested(wait.stop)) {
            return Failure{kInterrupted, "interrupted while waiting for the lock of " + EscapeControl(path) + ", held by " + HolderOf(file).text};
        }
        if (!told && std::chrono::steady_clock::now() - start >= kTellWaitAfter) {
            told = true;
            const Holder holder = HolderOf(file);
            if (!holder.self && wait.waiting) wait.waiting(holder.text);
        }
        std::this_thread::sleep_for(kWaitSlice);
    }
    return file;
}

// Appends one whole line with one write and makes it durable.
bool AppendLine(const Descriptor& file, const std::string& line) {
    return WriteAll(file.get(), line, Writes::One) && fsync(file.get()) == 0;
}

// Appends to the locked record; a torn last line (a crash while writing) is ended first, so that
// it stays one bad line.
bool AppendRecord(const Descriptor& record, const std::string& line) {
    struct stat info {};
    if (fstat(record.get(), &info) != 0) return false;
    char last = '\n';
    if (info.st_size > 0 && pread(record.get(), &last, 1, info.st_size - 1) != 1) return false;
    return (last == '\n' || AppendLine(record, "\n")) && AppendLine(record, line);
}

}  // namespace

SerialList ParseSerialList(std::string_view text) {
    SerialList list;
    ForEachLine(text, ListInto(list));
    Conclude(list);
    return list;
}

RecordStates ParseRecord(std::string_view text) {
    RecordStates states;
    ForEachLine(text, StatesInto(states));
    return states;
}

std::vector<std::string> FreeSerials(const std::vector<std::string>& serials, const RecordStates& record,
                                     std::size_t most) {
    std::vector<std::string> free;
    std::unordered_set<std::string_view> given;  // a serial listed twice is free once
    for (const std::string& serial : serials) {
        if (free.size() >= most) break;
        const auto found = record.find(serial);
        const bool usable = found == record.end() || found->second == SerialState::Returned;
        if (usable && given.insert(serial).second) free.push_back(serial);
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

std::optional<pid_t> FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, ino_t inode) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02x:%02x:%lu", major, minor, static_cast<unsigned long>(inode));
    std::optional<pid_t> holder;
    ForEachLine(procLocks, [&](std::string_view line, std::size_t, LineEnd) {
        // "1: FLOCK  ADVISORY  WRITE 812 fe:00:10952808 0 EOF"; a waiter has "->" after the number.
        std::string_view rest = line;
        NextWord(rest);
        if (holder || NextWord(rest) != "FLOCK") return;
        NextWord(rest);
        NextWord(rest);
        const std::string_view pid = NextWord(rest);
        const std::string_view file = NextWord(rest);
        pid_t number = 0;
        const auto parsed = std::from_chars(pid.data(), pid.data() + pid.size(), number);
        if (file == expected && parsed.ec == std::errc() && parsed.ptr == pid.data() + pid.size() && number > 0) {
            holder = number;
        }
    });
    return holder;
}

SerialLedger::SerialLedger(std::string listPath) : listPath_(std::move(listPath)), recordPath_(listPath_ + ".taken") {}

std::optional<Failure> SerialLedger::Check() const {
    auto list = ReadList(listPath_);
    if (auto* failure = std::get_if<Failure>(&list)) return *failure;
    auto record = OpenRegular(recordPath_, O_RDWR | O_CREAT | O_APPEND, "write", kRecordName);
    if (auto* failure = std::get_if<Failure>(&record)) return *failure;
    return std::nullopt;
}

std::variant<std::string, Failure> SerialLedger::Take(const std::string& keypad, const LedgerWait& wait) {
    // The list is read before the lock, which is held only while the record is read and added to.
    auto list = ReadList(listPath_);
    if (auto* failure = std::get_if<Failure>(&list)) return *failure;
    auto locked = LockRecord(recordPath_, wait);
    if (auto* failure = std::get_if<Failure>(&locked)) return *failure;
    const Descriptor& record = std::get<Descriptor>(locked);
    RecordStates states;
    if (!ReadLines(record, StatesInto(states))) return FileProblem("read", kRecordName, recordPath_, errno);
    const std::vector<std::string> free = FreeSerials(std::get<SerialList>(list).serials, states, 1);
    if (free.empty()) {
        return Failure{kFileProblem, "every serial number of " + EscapeControl(listPath_) + " is taken (or its outcome unknown)"};
    }
    if (!AppendRecord(record, RecordLine(free.front(), SerialState::Taking, Now(), Writer(), keypad))) {
        return FileProblem("record the serial taken in", kRecordName, recordPath_, errno);
    }
    return free.front();
}

std::optional<Failure> SerialLedger::Settle(const std::string& serial, SerialState outcome, const std::string& keypad,
                                            const LedgerWait& wait) {
    auto locked = LockRecord(recordPath_, wait);
    if (auto* failure = std::get_if<Failure>(&locked)) {
        failure->message = "serial " + serial + " stays recorded as taking: " + failure->message;
        return *failure;
    }
    if (!AppendRecord(std::get<Descriptor>(locked), RecordLine(serial, outcome, Now(), Writer(), keypad))) {
        return FileProblem("record what became of serial " + EscapeControl(serial) + " in", kRecordName, recordPath_, errno);
    }
    return std::nullopt;
}

std::vector<std::string> SerialLedger::Free(std::size_t most, std::string& error) const {
    auto list = ReadList(listPath_);
    if (auto* failure = std::get_if<Failure>(&list)) {
        error = failure->message;
        return {};
    }
    RecordStates states;
    struct stat info {};
    const bool recorded = stat(recordPath_.c_str(), &info) == 0 || errno != ENOENT;
    auto record = OpenRegular(recordPath_, O_RDONLY, "read", kRecordName);
    if (auto* failure = std::get_if<Failure>(&record)) {
        if (recorded) error = failure->message;
    } else if (!ReadLines(std::get<Descriptor>(record), StatesInto(states))) {
        error = FileProblem("read", kRecordName, recordPath_, errno).message;
    }
    return error.empty() ? FreeSerials(std::get<SerialList>(list).serials, states, most) : std::vector<std::string>{};
}

bool SerialLedger::TakenBy(const std::string& serial, const std::string& keypad) const {
    auto record = OpenRegular(recordPath_, O_RDONLY, "read", kRecordName);
    if (std::holds_alternative<Failure>(record)) return false;
    std::optional<SerialState> state;
    bool byKeypad = false;
    const bool read = ReadLines(std::get<Descriptor>(record), RecordEntries([&](const RecordEntry& entry) {
        if (entry.serial != serial) return;
        state = entry.state;
        byKeypad = entry.keypad == keypad;
    }));
    return read && state == SerialState::Taken && byKeypad;
}

std::vector<std::string> SerialLedger::Unknown() const {
    auto record = OpenRegular(recordPath_, O_RDONLY, "read", kRecordName);
    if (std::holds_alternative<Failure>(record)) return {};
    std::unordered_map<std::string, std::string> taking;  // serial -> its writer, while its last line is taking
    ReadLines(std::get<Descriptor>(record), RecordEntries([&](const RecordEntry& entry) {
        if (entry.state == SerialState::Taking) {
            taking.insert_or_assign(std::string(entry.serial), std::string(entry.writer));
        } else {
            taking.erase(std::string(entry.serial));
        }
    }));
    const std::string self = Writer();
    const std::string host = self.substr(0, self.rfind(':'));
    std::vector<std::string> unknown;
    for (const auto& [serial, writer] : taking) {
        // A velnor of another host may still be at work; one of this host is, while its
        // process runs.
        const std::size_t colon = writer.rfind(':');
        if (colon == std::string::npos || writer.substr(0, colon) != host) continue;
        const long pid = std::strtol(writer.c_str() + colon + 1, nullptr, 10);
        if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
        unknown.push_back(serial);
    }
    // Numbers in their order: shorter first.
    std::sort(unknown.begin(), unknown.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return unknown;
}

}  // namespace velnorcli
