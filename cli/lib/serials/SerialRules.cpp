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

void LastStates::Add(const SerialEvent& event) {
    states_.insert_or_assign(std::string(event.serial), Last{event.state, std::string(event.keypad)});
}

std::vector<std::string> LastStates::Free(const std::vector<std::string>& list, std::size_t most) const {
    std::vector<std::string> free;
    std::unordered_set<std::string_view> given;
    for (const std::string& serial : list) {
        if (free.size() >= most) break;
        const auto found = states_.find(serial);
        const bool usable = found == states_.end() || found->second.state == SerialState::Returned;
        if (usable && given.insert(serial).second) free.push_back(serial);
    }
    return free;
}

bool LastStates::TakenBy(const std::string& serial, std::string_view keypad) const {
    const auto found = states_.find(serial);
    return found != states_.end() && found->second.state == SerialState::Taken && found->second.keypad == keypad;
}

std::vector<std::optional<SerialState>> LastStates::StatesOf(const std::vector<std::string>& list) const {
    std::vector<std::optional<SerialState>> states;
    std::unordered_set<std::string_view> seen;
    for (const std::string& serial : list) {
        if (!seen.insert(serial).second) continue;
        const auto found = states_.find(serial);
        states.push_back(found == states_.end() ? std::nullopt : std::optional(found->second.state));
    }
    return states;
}

std::string_view HostOf(std::string_view writer) {
    const std::size_t colon = writer.rfind(':');
    return colon == std::string_view::npos ? std::string_view() : writer.substr(0, colon);
}

void Unsettled::Add(const SerialEvent& event) {
    std::string serial(event.serial);
    if (event.state == SerialState::Taking) {
        PendingSerial pending{serial, std::string(event.time), std::string(event.writer), std::string(event.keypad)};
        pending_.insert_or_assign(std::move(serial), std::move(pending));
    } else {
        pending_.erase(serial);
    }
}

std::vector<PendingSerial> Unsettled::Unknown(std::string_view host, const std::function<bool(long pid)>& runs) const {
    return Unknown([&](const std::string& writer) {
        if (writer.find(':') == std::string::npos || HostOf(writer) != host) return false;
        const long pid = std::strtol(writer.c_str() + HostOf(writer).size() + 1, nullptr, 10);
        return pid <= 0 || !runs(pid);
    });
}

std::vector<PendingSerial> Unsettled::Unknown(const std::function<bool(const std::string& writer)>& gone) const {
    std::vector<PendingSerial> unknown;
    for (const auto& [serial, pending] : pending_) {
        if (gone(pending.writer)) unknown.push_back(pending);
    }
    // Shorter first.
    std::sort(unknown.begin(), unknown.end(), [](const PendingSerial& a, const PendingSerial& b) {
        return a.serial.size() != b.serial.size() ? a.serial.size() < b.serial.size() : a.serial < b.serial;
    });
    return unknown;
}

SerialCounts CountSerials(const std::vector<std::string>& list, const LastStates& states,
                          const std::vector<PendingSerial>& unknown) {
    SerialCounts counts;
    for (const std::optional<SerialState>& state : states.StatesOf(list)) {
        if (!state) {
            ++counts.free;
        } else if (*state == SerialState::Taken) {
            ++counts.taken;
        } else if (*state == SerialState::Returned) {
            ++counts.returned;
        } else {
            ++counts.taking;
        }
    }
    // An unknown serial no longer listed still counts: it is still to be resolved.
    const std::unordered_set<std::string_view> listed(list.begin(), list.end());
    for (const PendingSerial& pending : unknown) {
        ++counts.unknown;
        if (listed.count(pending.serial) != 0) --counts.taking;
    }
    return counts;
}

std::vector<std::optional<std::string>> KeptSerials(const LastStates& states, const std::vector<SerialClaim>& claims) {
    std::vector<std::optional<std::string>> kept(claims.size());
    std::unordered_set<std::string> keeping;
    for (std::size_t i = 0; i < claims.size(); ++i) {
        const SerialClaim& claim = claims[i];
        const bool holds = !claim.held.empty() && std::any_of(claim.names.begin(), claim.names.end(), [&](const std::string& name) {
            return states.TakenBy(claim.held, name);
        });
        if (holds && keeping.insert(claim.held).second) kept[i] = claim.held;
    }
    return kept;
}

SerialAssignment AssignSerials(const LastStates& states, const std::vector<std::string>& list,
                               const std::vector<SerialClaim>& claims) {
    SerialAssignment assignment;
    const std::vector<std::optional<std::string>> kept = KeptSerials(states, claims);
    assignment.fresh = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), std::nullopt));
    const std::vector<std::string> free = states.Free(list, assignment.fresh);
    if (free.size() < assignment.fresh) {
        assignment.missing = assignment.fresh - free.size();
        return assignment;
    }
    std::size_t next = 0;
    for (const std::optional<std::string>& serial : kept) {
        assignment.given.push_back(serial ? GivenSerial{*serial, false} : GivenSerial{free[next++], true});
    }
    return assignment;
}

}  // namespace velnorcli
