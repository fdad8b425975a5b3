#include "serials/LockHolder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "serials/Lines.h"

namespace velnorcli {

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

LockHolder HolderOf(int fd) {
    struct stat info {};
    std::ifstream locks("/proc/locks");
    const std::string text(std::istreambuf_iterator<char>(locks), {});
    const std::optional<pid_t> pid =
        fstat(fd, &info) == 0 ? FlockHolder(text, major(info.st_dev), minor(info.st_dev), info.st_ino) : std::nullopt;
    if (!pid) return {"a process that /proc/locks does not show (one of another host sharing the file?)"};
    if (*pid == getpid()) return {"this velnor (for another keypad)", true};
    std::ifstream commFile("/proc/" + std::to_string(*pid) + "/comm");
    std::string comm;
    std::getline(commFile, comm);
    return {"process " + std::to_string(*pid) + (comm.empty() ? "" : " (" + comm + ")")};
}

}  // namespace velnorcli
