// Who holds the flock(2) lock of the record, as a message names that process while velnor waits
// for it.
#ifndef VELNOR_CLI_SERIALS_LOCKHOLDER_H
#define VELNOR_CLI_SERIALS_LOCKHOLDER_H

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace velnorcli {

// The process holding a flock(2) lock on the file (device major, minor, inode), from the text of
// /proc/locks; none when no such line (a process of another host, or of a hidden PID namespace).
std::optional<pid_t> FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, ino_t inode);

// The holder of the lock on an open file: "process 812 (flock)"; `self` when it is this process.
struct LockHolder {
    std::string text;
    bool self = false;
};
LockHolder HolderOf(int fd);

}  // namespace velnorcli

#endif
