// The station's traceability record: one JSON object a line (JSON Lines) per keypad and command,
// appended whole with one write to a file opened for appending and made durable at once, so
// that several velnor processes can share one log and a crash loses at most the line being
// written. A log shipper can follow the file as it grows.
//
// The log may also be a character device (/dev/null) or a pipe that a process reads: lines go
// there as they come, without fsync, which only a file can take. It is opened once, before any
// keypad is involved, and kept open, so that a reader of a pipe sees one stream to its end.
//
// Or the log is a PostgreSQL database (--log URI): each line becomes a row of velnor.audit, with
// its fields in columns and the station that wrote it. Several logs may be given (--log FILE
// --log URI): each line goes to every one, and one that cannot take it is reported.
#ifndef VELNOR_CLI_STATIONLOG_H
#define VELNOR_CLI_STATIONLOG_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Result.h"

namespace velnorcli {

// One log file (or device, or pipe).
class LogFile {
public:
    explicit LogFile(std::string path) : path_(std::move(path)) {}
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

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

class Database;

// Every log given: files, and databases (a URI). `station` names the station in each line and in
// a database's rows.
class StationLog {
public:
    explicit StationLog(const std::vector<std::string>& targets, std::string station = {});
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Each file opened, each database's schema checked (an older one upgraded).
    Done Open();
    // The line to every log; each that fails is named in the failure (the others have it).
    Done Append(const std::string& line, const std::atomic<bool>* stop = nullptr) const;
    const std::string& Station() const { return station_; }

private:
    std::vector<std::unique_ptr<LogFile>> files_;
    std::vector<std::unique_ptr<Database>> databases_;
    std::string station_;
};

}  // namespace velnorcli

#endif
