// The serial list, the record and /proc/locks as lines of words: a text that may come in pieces
// of any size, cut into lines of bounded length, and the words of a line (blanks or tabs
// between them).
#ifndef VELNOR_CLI_SERIALS_LINES_H
#define VELNOR_CLI_SERIALS_LINES_H

#include <cstddef>
#include <string>
#include <string_view>

namespace velnorcli {

// Far longer than any line velnor writes; a longer one is cut there, so that memory stays bounded.
constexpr std::size_t kLongestLine = 8192;

// Unended: the last line, without its line end (the record counts it as torn by a crash).
enum class LineEnd { Whole, Unended, TooLong };

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The next word of `text`, taken off its front.
inline std::string_view NextWord(std::string_view& text) {
    text = TrimBlanks(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// Hands the lines of a text that comes in pieces to each(line, number, end), each line once.
template <typename Each>
class LineSplitter {
public:
    explicit LineSplitter(Each& each) : each_(each) {}

    void Feed(std::string_view piece) {
        for (std::size_t end; (end = piece.find('\n')) != std::string_view::npos; piece.remove_prefix(end + 1)) {
            const std::string_view line = piece.substr(0, end);
            if (pending_.empty() && !cut_ && line.size() <= kLongestLine) {
                each_(line, ++number_, LineEnd::Whole);
                continue;
            }
            Keep(line);
            each_(std::string_view(pending_), ++number_, cut_ ? LineEnd::TooLong : LineEnd::Whole);
            pending_.clear();
            cut_ = false;
        }
        Keep(piece);
    }
    void End() {
        if (!pending_.empty() || cut_) each_(std::string_view(pending_), ++number_, cut_ ? LineEnd::TooLong : LineEnd::Unended);
    }

private:
    void Keep(std::string_view part) {
        const std::size_t room = kLongestLine - pending_.size();
        if (part.size() > room) {
            cut_ = true;
            part = part.substr(0, room);
        }
        pending_.append(part);
    }

    Each& each_;
    std::string pending_;  // a line begun in an earlier piece
    bool cut_ = false;
    std::size_t number_ = 0;
};

template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    LineSplitter<Each> lines(each);
    lines.Feed(text);
    lines.End();
}

}  // namespace velnorcli

#endif
