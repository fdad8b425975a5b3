#include "ProgressDisplay.h"

namespace velnorcli {

std::string RedrawText(std::size_t drawn, const std::vector<std::string>& lines) {
    std::string text = drawn > 0 ? "\033[" + std::to_string(drawn) + "A" : "";
    for (const std::string& line : lines) text += "\r\033[K" + line + "\n";
    return text;
}

std::string WipeText(std::size_t drawn) { return drawn > 0 ? "\033[" + std::to_string(drawn) + "A\r\033[J" : ""; }

std::string CutToWidth(const std::string& line, std::size_t columns) {
    if (columns == 0) return line;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const bool continues = (static_cast<unsigned char>(line[at]) & 0xc0) == 0x80;
        if (!continues && ++characters > columns) return line.substr(0, at);
    }
    return line;
}

ProgressDisplay::ProgressDisplay(Source lines, std::ostream& terminal, std::chrono::milliseconds every, bool keep)
    : lines_(std::move(lines)), terminal_(terminal), every_(every), keep_(keep) {
    drawer_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!done_) {
            soon_ = false;
            lock.unlock();
            Draw(false);
            lock.lock();
            wake_.wait_for(lock, every_, [this] { return done_ || soon_; });
        }
    });
}

ProgressDisplay::ProgressDisplay(const ProgressBoard& board, std::ostream& terminal)
    : ProgressDisplay([&board](std::chrono::steady_clock::time_point now) { return board.Lines(now); }, terminal,
                      std::chrono::milliseconds(100), false) {}

ProgressDisplay::~ProgressDisplay() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    drawer_.join();
    if (keep_) {
        Draw(true);
    } else {
        terminal_ << WipeText(drawn_) << std::flush;
    }
}

void ProgressDisplay::Redraw() {
    {
        std::lock_guard lock(mutex_);
        soon_ = true;
    }
    wake_.notify_all();
}

void ProgressDisplay::Print(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        printed_ += text;
        soon_ = true;
    }
    wake_.notify_all();
}

void ProgressDisplay::Draw(bool last) {
    std::string printed;
    {
        std::lock_guard lock(mutex_);
        printed.swap(printed_);
    }
    const auto lines = lines_(std::chrono::steady_clock::now());
    // Messages go where the lines were; fewer lines than drawn leave none of the old below.
    std::string text;
    if (!printed.empty() || lines.size() < drawn_) {
        text = WipeText(drawn_) + printed + RedrawText(0, lines);
    } else {
        text = RedrawText(drawn_, lines);
    }
    // The last time, anything typed below the lines (^C) goes too.
    terminal_ << text << (last ? "\033[J" : "") << std::flush;
    drawn_ = lines.size();
}

}  // namespace velnorcli
