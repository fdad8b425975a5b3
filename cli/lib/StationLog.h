// The station's traceability record: one JSON object a line (JSON Lines) per keypad and command,
// appended whole with one write to a file opened for appending and made durable at once, so
// that several velnor processes can share one log and a crash loses at most the line being
// written. A log shipper can follow the file as it grows.
#ifndef VELNOR_CLI_STATIONLOG_H
#define VELNOR_CLI_STATIONLOG_H

#include <string>

namespace velnorcli {

class StationLog {
public:
    explicit StationLog(std::string path) : path_(std::move(path)) {}
    // Checks that the log can be appended to (before any keypad is involved). Empty, or why not.
    std::string Check() const;
    // `line`: one JSON document without a line end. Empty on success, or why it failed.
    std::string Append(const std::string& line) const;

private:
    std::string path_;
};

}  // namespace velnorcli

#endif
