// The station's traceability record: one JSON object a line (JSON Lines) per keypad and command,
// appended whole with one write to a file opened for appending and made durable at once, so
// that several velnor processes can share one log and a crash loses at most the line being
// written. A log shipper can follow the file as it grows.
//
// The log may also be a character device (/dev/null) or a pipe that a process reads: lines go
// there as they come, without fsync, which only a file can take. It is opened once, before any
// keypad is involved, and kept open, so that a reader of a pipe sees one stream to its end.
#ifndef VELNOR_CLI_STATIONLOG_H
#define VELNOR_CLI_STATIONLOG_H

#include <atomic>
#include <mutex>
#include <string>

#include "Result.h"

namespace velnorcli {

class StationLog {
public:
    explicit StationLog(std::string path) : path_(std::move(path)) {}
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Opens the log for appending (made when missing), never waiting: a pipe that no process
    // reads, a folder or a block device is refused.
    Done Open();
    // `line`: one JSON document without a line end. A pipe that is full is waited for, until
    // `stop` is set (status 130).
    Done Append(const std::string& line, const std::atomic<bool>* stop = nullptr) const;

private:
    std::string path_;
    int fd_ = -1;
    bool durable_ = false;  // a regular file: each line is made durable with fsync
    mutable std::mutex writing_;  // one line at a time, also where a pipe takes a long line in parts
};

}  // namespace velnorcli

#endif
