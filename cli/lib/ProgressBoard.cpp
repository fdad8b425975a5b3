#include "ProgressBoard.h"

#include <cstdio>

#include "Text.h"

namespace velnorcli {

ProgressBoard::ProgressBoard(std::vector<std::string> names, Clock::time_point start, OnStep onStep)
    : start_(start), onStep_(std::move(onStep)) {
    for (std::string& name : names) lines_.push_back(Line{std::move(name)});
}

void ProgressBoard::Set(std::size_t keypad, std::string step) {
    if (onStep_) onStep_(keypad, step);
    std::lock_guard lock(mutex_);
    if (keypad < lines_.size() && !lines_[keypad].done) lines_[keypad].step = std::move(step);
}

void ProgressBoard::Finish(std::size_t keypad, std::string result, Clock::time_point when) {
    std::lock_guard lock(mutex_);
    if (keypad >= lines_.size()) return;
    lines_[keypad].step = std::move(result);
    lines_[keypad].done = true;
    lines_[keypad].end = when;
}

std::vector<std::string> ProgressBoard::Lines(Clock::time_point now) const {
    std::vector<std::vector<std::string>> rows;
    {
        std::lock_guard lock(mutex_);
        for (const Line& line : lines_) {
            const auto tenths =
                std::chrono::duration_cast<std::chrono::milliseconds>((line.done ? line.end : now) - start_).count() / 100;
            char elapsed[32];
            std::snprintf(elapsed, sizeof elapsed, "%lld.%lld s", static_cast<long long>(tenths / 10),
                          static_cast<long long>(tenths % 10));
            rows.push_back({line.name, line.step, elapsed});
        }
    }
    std::vector<std::string> lines;
    const std::string text = AlignColumns(rows);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace velnorcli
