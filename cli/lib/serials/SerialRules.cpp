#include "serials/SerialRules.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace velnorcli {

namespace {

constexpr std::size_t kLongestSerial = 16;  // what a keypad's status reply carries

const char* StateName(SerialState state) {
    switch (state) {
    case SerialState::Taking: return "taking";
    case SerialState::Taken: return "taken";
    case SerialState::Returned: return "returned";
    }
    return "?";
}

std::optional<SerialState> StateNamed(std::string_view name) {
    for (SerialState state : {SerialState::Taking, SerialState::Taken, SerialState::Returned}) {
        if (name == StateName(state)) return state;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SerialEvent> ParseEvent(std::string_view line, LineEnd end) {
    std::string_view rest = line;
    const std::string_view serial = NextWord(rest);
    const std::optional<SerialState> state = StateNamed(NextWord(rest));
    if (end != LineEnd::Whole || serial.empty() || !state) return std::nullopt;
    const std::string_view time = NextWord(rest);
    const std::string_view writer = NextWord(rest);
    return SerialEvent{serial, *state, time, writer, TrimBlanks(rest)};
}

std::string EventLine(const SerialEvent& event) {
    std::string where(event.keypad);
    for (char& c : where) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return std::string(event.serial) + "\t" + StateName(event.state) + "\t" + std::string(event.time) + "\t" +
           std::string(event.writer) + "\t" + where + "\n";
}

void ListParser::operator()(std::string_view line, std::size_t number, LineEnd end) {
    const std::string_view serial = TrimBlanks(line);
    if (!refusal_.empty() || serial.empty() || serial.front() == '#') return;
    const bool readable = std::all_of(serial.begin(), serial.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) != 0x7F;
    });
    if (!readable) {
        refusal_ = "line " + std::to_string(number) + ": a serial number with a blank or a control character";
    } else if (serial.size() > kLongestSerial || end == LineEnd::TooLong) {
        refusal_ = "line " + std::to_string(number) + ": a serial number longer than " + std::to_string(kLongestSerial) +
                   " characters";
    } else {
        serials_.emplace_back(serial);
    }
}

Result<std::vector<std::string>> ListParser::End() && {
    if (refusal_.empty() && serials_.empty()) refusal_ = "it holds no serial number";
    if (!refusal_.empty()) return Failure{kFileProblem, refusal_};
    return std::move(serials_);
}

Result<std::vector<std::string>> ParseSerialList(std::string_view text) {
    ListParser list;
    ForEachLine(text, std::ref(list));
    return std::move(list).End();
}

void LastStates::Add(const SerialEvent& event) { states_.insert_or_assign(std::string(event.serial), event.state); }

std::vector<std::string> LastStates::Free(const std::vector<std::string>& list, std::size_t most) const {
    std::vector<std::string> free;
    std::unordered_set<std::string_view> given;
    for (const std::string& serial : list) {
        if (free.size() >= most) break;
        const auto found = states_.find(serial);
        const bool usable = found == states_.end() || found->second == SerialState::Returned;
        if (usable && given.insert(serial).second) free.push_back(serial);
    }
    return free;
}

void Holding::Add(const SerialEvent& event) {
    if (event.serial == serial_) holds_ = event.state == SerialState::Taken && event.keypad == keypad_;
}

void Unsettled::Add(const SerialEvent& event) {
    if (event.state == SerialState::Taking) {
        writers_.insert_or_assign(std::string(event.serial), std::string(event.writer));
    } else {
        writers_.erase(std::string(event.serial));
    }
}

std::vector<std::string> Unsettled::Unknown(std::string_view host, const std::function<bool(long pid)>& runs) const {
    std::vector<std::string> unknown;
    for (const auto& [serial, writer] : writers_) {
        const std::size_t colon = writer.rfind(':');
        if (colon == std::string::npos || std::string_view(writer).substr(0, colon) != host) continue;
        const long pid = std::strtol(writer.c_str() + colon + 1, nullptr, 10);
        if (pid > 0 && runs(pid)) continue;
        unknown.push_back(serial);
    }
    // Shorter first.
    std::sort(unknown.begin(), unknown.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return unknown;
}

}  // namespace velnorcli
