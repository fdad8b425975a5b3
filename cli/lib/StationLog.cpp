#include "StationLog.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "Waiting.h"
#include "db/Database.h"

namespace velnorcli {

namespace {

Failure Problem(const std::string& path, const std::string& why) {
    return Failure{kFileProblem, "cannot append to the log " + path + ": " + why};
}

Failure Problem(const std::string& path) { return Problem(path, std::strerror(errno)); }

bool Usable(const struct stat& info) { return S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode); }

}  // namespace

LogFile::~LogFile() {
    if (fd_ >= 0) close(fd_);
}

Done LogFile::Open() {
    constexpr const char* kUnusable = "not a file, a character device or a pipe";
    // Looked at before opening (a block device is never opened) and again after.
    struct stat info {};
    const bool existed = stat(path_.c_str(), &info) == 0;
    if (existed && !Usable(info)) return Problem(path_, kUnusable);
    // O_NONBLOCK: a pipe without a reader fails at once (ENXIO) instead of waiting for one.
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno == ENXIO && existed && S_ISFIFO(info.st_mode)) return Problem(path_, "a pipe that no process reads");
    if (fd_ < 0) return Problem(path_);
    if (fstat(fd_, &info) != 0) return Problem(path_);
    if (!Usable(info)) return Problem(path_, kUnusable);
    durable_ = S_ISREG(info.st_mode);
    return {};
}

namespace {

// A pipe whose reader went away is a line not written (EPIPE), not the end of velnor: SIGPIPE is
// held back for this thread while it writes, and one it raised is taken before it is let through.
ssize_t WriteWithoutSigpipe(int fd, std::string_view text) {
    sigset_t pipe;
    sigset_t previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    const ssize_t written = write(fd, text.data(), text.size());
    const int error = errno;
    if (written < 0 && error == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipe, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

}  // namespace

Done LogFile::Append(const std::string& line, const std::atomic<bool>* stop) const {
    const std::string whole = line + "\n";
    std::lock_guard lock(writing_);
    if (fd_ < 0) return Problem(path_, std::strerror(EBADF));
    // A file takes the line with one write (appends of several processes never mix); a pipe or
    // a device may take it in parts, waited for while it is full.
    for (std::string_view rest = whole; !rest.empty();) {
        const ssize_t written = WriteWithoutSigpipe(fd_, rest);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN && !durable_) {
            const Readiness ready = AwaitReady(fd_, POLLOUT, stop);
            if (ready == Readiness::Stopped) {
                return Failure{kInterrupted, "interrupted while waiting for the reader of the log " + path_ +
                                                 ": a line of it was not written"};
            }
            if (ready == Readiness::Failed) return Problem(path_);
            continue;
        }
        if (written < 0) return Problem(path_);
        if (durable_ && static_cast<std::size_t>(written) != rest.size()) return Problem(path_, "the line was written in part");
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (durable_ && fsync(fd_) != 0) return Problem(path_);
    return {};
}

StationLog::StationLog(const std::vector<std::string>& targets, std::string station) : station_(std::move(station)) {
    for (const std::string& target : targets) {
        if (IsDatabaseUri(target)) {
            databases_.push_back(std::make_unique<Database>(target));
        } else {
            files_.push_back(std::make_unique<LogFile>(target));
        }
    }
}

StationLog::~StationLog() = default;

Done StationLog::Open() {
    for (const std::unique_ptr<LogFile>& file : files_) {
        if (const Done opened = file->Open(); !opened) return opened;
    }
    for (const std::unique_ptr<Database>& database : databases_) {
        if (const Done checked = database->Schema(false); !checked) {
            return Failure{checked.failure().status, "cannot append to the log: " + checked.failure().message, checked.failure().hint};
        }
    }
    return {};
}

Done StationLog::Append(const std::string& line, const std::atomic<bool>* stop) const {
    std::optional<Failure> failed;
    const auto note = [&failed](const Failure& failure) {
        if (!failed) {
            failed = failure;
        } else {
            failed->message += "; " + failure.message;
            failed->status = std::max(failed->status, failure.status);
        }
    };
    for (const std::unique_ptr<LogFile>& file : files_) {
        if (const Done appended = file->Append(line, stop); !appended) note(appended.failure());
    }
    for (const std::unique_ptr<Database>& database : databases_) {
        // The line's fields in columns, read from the line by the database itself.
        const Result<std::vector<Database::Row>> added = database->Run(
            "INSERT INTO velnor.audit (time, station, host, velnor_version, command, location, usb_serial, serial_before, "
            "serial_after, firmware, file, file_sha256, result, status, duration_ms, message, line) "
            "SELECT (l->>'time')::timestamptz, $2, l->>'host', l->>'velnor_version', l->>'command', l->>'location', "
            "l->>'usb_serial', l->>'serial_before', l->>'serial_after', l->>'firmware', l->>'file', l->>'file_sha256', "
            "l->>'result', (l->>'status')::integer, (l->>'duration_ms')::bigint, l->>'message', l FROM (SELECT $1::json AS l) AS line",
            {line, station_});
        if (!added) note(Failure{added.failure().status, "cannot append to the log: " + added.failure().message});
    }
    if (failed) return *failed;
    return {};
}

}  // namespace velnorcli
