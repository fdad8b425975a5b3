// The live board of a station run on a terminal: one row per port (its location, else the
// keypad's path) with what the keypad there does, its serial, result and time, then the
// station's counters. Told the station's events from its thread and the steps of the keypads in
// progress from theirs; read by the thread that draws.
#ifndef VELNOR_CLI_STATION_STATIONBOARD_H
#define VELNOR_CLI_STATION_STATIONBOARD_H

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "StationRun.h"

namespace velnorcli {

class StationBoard {
public:
    using Clock = std::chrono::steady_clock;

    // feedback: a finished keypad shows its result before it is done (Shown tells the end).
    explicit StationBoard(bool feedback, Clock::time_point start = Clock::now());

    void Tell(const StationEvent& event, Clock::time_point when = Clock::now());
    void Step(const KEYPAD_ENTRY& keypad, const std::string& step);
    void Shown(const KEYPAD_ENTRY& keypad);

    // A header, one aligned row per port in port order, and the counters:
    // "1-2.1  restoring: writing buzzer  -  -  0.4 s".
    std::vector<std::string> Lines(Clock::time_point now) const;

private:
    enum class State { Waiting, Restoring, Feedback, Done, Left };
    struct Row {
        KEYPAD_ENTRY keypad;
        std::string identity;
        State state = State::Waiting;
        std::string step;
        bool shown = false;  // its feedback ended: told from its thread, maybe before Finished
        std::string serial = "-";
        std::string result = "-";
        Clock::time_point started{};
        std::chrono::milliseconds took{-1};  // known once finished
    };
    // The row of the keypad, or of its port; nullptr when neither has one.
    Row* Find(const KEYPAD_ENTRY& keypad);

    const bool feedback_;
    const Clock::time_point start_;
    mutable std::mutex mutex_;
    std::vector<Row> rows_;   // guarded by mutex_
    StationCounts counts_;    // guarded by mutex_
};

}  // namespace velnorcli

#endif
