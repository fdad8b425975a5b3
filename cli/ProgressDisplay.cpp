#include "ProgressDisplay.h"

#include <chrono>

namespace velnorcli {

std::string RedrawText(std::size_t drawn, const std::vector<std::string>& lines) {
    std::string text = drawn > 0 ? "\033[" + std::to_string(drawn) + "A" : "";
    for (const std::string& line : lines) text += "\r\033[K" + line + "\n";
    return text;
}

std::string WipeText(std::size_t drawn) { return drawn > 0 ? "\033[" + std::to_string(drawn) + "A\r\033[J" : ""; }

ProgressDisplay::ProgressDisplay(const ProgressBoard& board, std::ostream& terminal) : board_(board), terminal_(terminal) {
    drawer_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!done_) {
            lock.unlock();
            Draw();
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; });
        }
    });
}

ProgressDisplay::~ProgressDisplay() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    drawer_.join();
    terminal_ << WipeText(drawn_) << std::flush;
}

void ProgressDisplay::Draw() {
    const auto lines = board_.Lines(ProgressBoard::Clock::now());
    terminal_ << RedrawText(drawn_, lines) << std::flush;
    drawn_ = lines.size();
}

}  // namespace velnorcli
