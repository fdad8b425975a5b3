#include "serials/FileStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "Text.h"
#include "Waiting.h"
#include "WriteAll.h"
#include "serials/LockHolder.h"

namespace velnorcli {

namespace {

constexpr auto kTellWaitAfter = std::chrono::seconds(1);

const std::string kListName = "the serial list";
const std::string kRecordName = "the record of taken serials";

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
bool ReadLines(const Descriptor& file, Each& each) {
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

bool ReadEvents(const Descriptor& file, const EventSink& each) {
    auto events = [&each](std::string_view line, std::size_t, LineEnd end) {
        if (const std::optional<SerialEvent> event = ParseEvent(line, end)) each(*event);
    };
    return ReadLines(file, events);
}

// `name`: how messages name the file ("the serial list").
Failure FileProblem(const std::string& verb, const std::string& name, const std::string& path, int error) {
    return Failure{kFileProblem, "cannot " + verb + " " + name + " " + EscapeControl(path) + ": " + std::strerror(error)};
}

// Opens a file that must be a regular file (with O_CREAT it may not exist yet). It is looked at
// before opening, so that a device is never opened, and again after, on what was opened;
// O_NONBLOCK keeps a pipe or a file under a lease from holding the open up.
Result<Descriptor> OpenRegular(const std::string& path, int flags, const std::string& verb, const std::string& name) {
    const auto notRegular = [&] { return Failure{kFileProblem, name + " " + EscapeControl(path) + " is not a regular file"}; };
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return notRegular();
    Descriptor file(open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    if (file.get() < 0) return FileProblem(verb, name, path, errno);
    if (fstat(file.get(), &info) != 0) return FileProblem(verb, name, path, errno);
    if (!S_ISREG(info.st_mode)) return notRegular();
    return file;
}

// The record, opened for appending (made when missing) and locked. The lock is tried in slices
// rather than waited for, so that a stop ends the wait; no other lock is held meanwhile.
Result<Descriptor> LockRecord(const std::string& path, const LedgerWait& wait) {
    Result<Descriptor> file = OpenRegular(path, O_RDWR | O_CREAT | O_APPEND, "use", kRecordName);
    if (!file) return file;
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    while (flock(file->get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return FileProblem("lock", kRecordName, path, errno);
        if (StopRequested(wait.stop)) {
            return Failure{kInterrupted, "interrupted while waiting for the lock of " + EscapeControl(path) + ", held by " +
                                             HolderOf(file->get()).text};
        }
        if (!told && std::chrono::steady_clock::now() - start >= kTellWaitAfter) {
            told = true;
            const LockHolder holder = HolderOf(file->get());
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

Result<std::vector<std::string>> FileStore::Serials() const {
    Result<Descriptor> file = OpenRegular(listPath_, O_RDONLY, "read", kListName);
    if (!file) return file.failure();
    ListParser list;
    if (!ReadLines(*file, list)) return FileProblem("read", kListName, listPath_, errno);
    Result<std::vector<std::string>> serials = std::move(list).End();
    if (!serials) return Failure{kFileProblem, "serial list " + EscapeControl(listPath_) + ": " + serials.failure().message};
    return serials;
}

Done FileStore::Check() const {
    if (Result<std::vector<std::string>> serials = Serials(); !serials) return serials.failure();
    if (Result<Descriptor> record = OpenRegular(recordPath_, O_RDWR | O_CREAT | O_APPEND, "write", kRecordName); !record) {
        return record.failure();
    }
    return {};
}

Done FileStore::Read(const EventSink& each) const {
    struct stat info {};
    const bool recorded = stat(recordPath_.c_str(), &info) == 0 || errno != ENOENT;
    Result<Descriptor> record = OpenRegular(recordPath_, O_RDONLY, "read", kRecordName);
    if (!record) return recorded ? Done(record.failure()) : Done();
    if (!ReadEvents(*record, each)) return FileProblem("read", kRecordName, recordPath_, errno);
    return {};
}

Done FileStore::Change(const LedgerWait& wait, const EventSink* read,
                       const std::function<Result<std::vector<SerialEvent>>()>& next) {
    Result<Descriptor> record = LockRecord(recordPath_, wait);
    if (!record) return record.failure();
    if (read != nullptr && !ReadEvents(*record, *read)) return FileProblem("read", kRecordName, recordPath_, errno);
    const Result<std::vector<SerialEvent>> events = next();
    if (!events) return events.failure();
    if (events->empty()) return {};
    std::string lines;
    for (const SerialEvent& event : *events) lines += EventLine(event);
    if (!AppendRecord(*record, lines)) {
        const int error = errno;
        const SerialEvent& first = events->front();
        const std::string what = first.state == SerialState::Taking
                                     ? "record the serials taken in"
                                     : "record what became of serial " + EscapeControl(first.serial) + " in";
        return FileProblem(what, kRecordName, recordPath_, error);
    }
    return {};
}

}  // namespace velnorcli
