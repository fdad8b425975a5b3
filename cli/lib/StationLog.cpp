#include "StationLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velnorcli {

namespace {

std::string Problem(const std::string& path) { return "cannot append to the log " + path + ": " + std::strerror(errno); }

}  // namespace

std::string StationLog::Check() const {
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return Problem(path_);
    close(fd);
    return {};
}

std::string StationLog::Append(const std::string& line) const {
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return Problem(path_);
    const std::string whole = line + "\n";
    std::string failure;
    ssize_t written = 0;
    do {
        written = write(fd, whole.data(), whole.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(whole.size()) || fsync(fd) != 0) failure = Problem(path_);
    close(fd);
    return failure;
}

}  // namespace velnorcli
