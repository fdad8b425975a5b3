#include "ProgressDisplay.h"

#include <chrono>

namespace velnorcli {

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
    if (drawn_ > 0) terminal_ << "\033[" << drawn_ << "A\r\033[J" << std::flush;
}

void ProgressDisplay::Draw() {
    std::string text;
    if (drawn_ > 0) text += "\033[" + std::to_string(drawn_) + "A";
    const auto lines = board_.Lines(ProgressBoard::Clock::now());
    for (const std::string& line : lines) text += "\r\033[K" + line + "\n";
    drawn_ = lines.size();
    terminal_ << text << std::flush;
}

}  // namespace velnorcli
