// What each keypad of a station run is doing, for the live lines a terminal shows: set by the
// keypads' threads, read by the one that draws.
#ifndef VELNOR_CLI_PROGRESSBOARD_H
#define VELNOR_CLI_PROGRESSBOARD_H

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velnorcli {

class ProgressBoard {
public:
    using Clock = std::chrono::steady_clock;

    using OnStep = std::function<void(std::size_t keypad, const std::string& step)>;

    // One line per keypad, named as messages name it (KeypadName: escaped already, shown as it
    // is); every clock starts now. `onStep` is also told each step set, outside the board's lock.
    explicit ProgressBoard(std::vector<std::string> names, Clock::time_point start = Clock::now(), OnStep onStep = {});

    void Set(std::size_t keypad, std::string step);
    // The keypad is done: its line shows `result` and stops its clock.
    void Finish(std::size_t keypad, std::string result, Clock::time_point when = Clock::now());

    // "1-2.3  writing buzzer  0.4 s", aligned.
    std::vector<std::string> Lines(Clock::time_point now) const;

private:
    struct Line {
        std::string name;
        std::string step = "waiting";
        bool done = false;
        Clock::time_point end{};
    };
    mutable std::mutex mutex_;
    Clock::time_point start_;
    OnStep onStep_;
    std::vector<Line> lines_;  // guarded by mutex_
};

}  // namespace velnorcli

#endif
