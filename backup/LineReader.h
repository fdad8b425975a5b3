// The lines of a text stream that nobody vouches for, each of bounded length, so that memory
// never grows with what the stream holds: a file of one endless line costs no more than a
// backup file of a few hundred bytes.
#ifndef VELNOR_BACKUP_LINEREADER_H
#define VELNOR_BACKUP_LINEREADER_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <limits>
#include <string>

namespace velnorbackup {

// What one line of a backup file may hold: far above any real line (a few dozen bytes).
constexpr std::size_t kLineCapacity = 4096;

enum class LineRead {
    Line,           // a line, without its line end (a carriage return before the line feed dropped)
    End,            // nothing more to read
    LineTooLong,    // more than the line capacity came before a line feed
    StreamTooLong,  // the stream holds more than the stream capacity
};

class LineReader {
public:
    explicit LineReader(std::istream& in, std::size_t lineCapacity = kLineCapacity,
                        std::uint64_t streamCapacity = std::numeric_limits<std::uint64_t>::max())
        : in_(in), lineCapacity_(lineCapacity), streamCapacity_(streamCapacity) {}

    // The next line into `line`. After a refusal the rest of the stream is left unread: the
    // reader reads at most one byte past either capacity. The last line counts even without
    // its line feed.
    LineRead Next(std::string& line);

private:
    std::istream& in_;
    std::size_t lineCapacity_;
    std::uint64_t streamCapacity_;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace velnorbackup

#endif
