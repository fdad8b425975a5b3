#include "StationBoard.h"

#include "../Render.h"
#include "../Selection.h"
#include "../Text.h"

namespace velnorcli {

StationBoard::StationBoard(bool feedback, Clock::time_point start) : feedback_(feedback), start_(start) {}

StationBoard::Row* StationBoard::Find(const KEYPAD_ENTRY& keypad) {
    const std::string identity = KeypadIdentityName(keypad);
    const std::string name = KeypadName(keypad);
    for (Row& row : rows_) {
        if (row.identity == identity) return &row;
    }
    for (Row& row : rows_) {
        if (KeypadName(row.keypad) == name) return &row;
    }
    return nullptr;
}

void StationBoard::Tell(const StationEvent& event, Clock::time_point when) {
    const std::lock_guard lock(mutex_);
    Row* row = Find(event.keypad);
    switch (event.kind) {
    case EventKind::Attached:
        // A keypad at a port takes the row of the one there before.
        if (row == nullptr) row = &rows_.emplace_back();
        *row = Row{};
        row->keypad = event.keypad;
        row->identity = KeypadIdentityName(event.keypad);
        return;
    case EventKind::Started:
        if (row == nullptr) return;
        row->state = State::Restoring;
        row->started = when;
        return;
    case EventKind::Finished:
        if (event.report == nullptr) return;
        counts_.Add(*event.report);
        if (row == nullptr) row = &rows_.emplace_back();
        row->keypad = event.report->keypad;
        row->state = feedback_ && !row->shown ? State::Feedback : State::Done;
        row->serial = ShownSerial(*event.report);
        row->result = ResultName(event.report->result);
        row->took = std::chrono::milliseconds(event.report->durationMs);
        return;
    case EventKind::Left:
        if (row == nullptr) return;
        // A keypad without a location leaves no port behind.
        if (event.keypad.Location.empty()) {
            rows_.erase(rows_.begin() + (row - rows_.data()));
        } else {
            row->state = State::Left;
        }
        return;
    }
}

void StationBoard::Step(const KEYPAD_ENTRY& keypad, const std::string& step) {
    const std::lock_guard lock(mutex_);
    Row* row = Find(keypad);
    if (row != nullptr && row->state == State::Restoring) row->step = step;
}

void StationBoard::Shown(const KEYPAD_ENTRY& keypad) {
    const std::lock_guard lock(mutex_);
    Row* row = Find(keypad);
    if (row == nullptr) return;
    row->shown = true;
    if (row->state == State::Feedback) row->state = State::Done;
}

std::vector<std::string> StationBoard::Lines(Clock::time_point now) const {
    std::vector<std::vector<std::string>> cells{{"PORT", "STATE", "SERIAL", "RESULT", "TIME"}};
    std::string counters;
    {
        const std::lock_guard lock(mutex_);
        std::vector<KEYPAD_ENTRY> keypads;
        for (const Row& row : rows_) keypads.push_back(row.keypad);
        for (const std::size_t i : PortOrder(keypads)) {
            const Row& row = rows_[i];
            std::string state;
            switch (row.state) {
            case State::Waiting: state = "waiting"; break;
            case State::Restoring: state = row.step.empty() ? "restoring" : "restoring: " + EscapeControl(row.step); break;
            case State::Feedback: state = "feedback"; break;
            case State::Done: state = "done"; break;
            case State::Left: state = "left"; break;
            }
            std::string time = "-";
            if (row.took.count() >= 0) {
                time = RenderDuration(row.took);
            } else if (row.state == State::Restoring) {
                time = RenderDuration(std::chrono::duration_cast<std::chrono::milliseconds>(now - row.started));
            }
            cells.push_back({KeypadName(row.keypad), state, row.serial, row.result, time});
        }
        counters = RenderStationCounts(counts_, std::chrono::duration_cast<std::chrono::milliseconds>(now - start_));
    }
    std::vector<std::string> lines;
    const std::string text = AlignColumns(cells);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    lines.push_back(counters);
    return lines;
}

}  // namespace velnorcli
