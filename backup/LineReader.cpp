#include "LineReader.h"

namespace velnorbackup {

LineRead LineReader::Next(std::string& line) {
    line.clear();
    std::streambuf* source = in_.rdbuf();
    if (source == nullptr || !in_.good()) return LineRead::End;
    for (bool any = false;;) {
        const int c = source->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            if (!any) return LineRead::End;
            break;
        }
        any = true;
        if (++bytesRead_ > streamCapacity_) return LineRead::StreamTooLong;
        if (c == '\n') break;
        if (line.size() == lineCapacity_) return LineRead::LineTooLong;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return LineRead::Line;
}

}  // namespace velnorbackup
