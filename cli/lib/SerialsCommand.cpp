#include "SerialsCommand.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

#include "Attached.h"
#include "Selection.h"
#include "Text.h"
#include "UtcTime.h"
#include "db/Database.h"
#include "db/PostgresLedger.h"
#include "serials/FileStore.h"

namespace velnorcli {

namespace {

// A word of the record as people read it: tabs (typed by hand) as blanks, controls escaped.
std::string Shown(std::string text) {
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text.empty() ? "-" : EscapeControl(text);
}

std::optional<long> PidOf(std::string_view writer) {
    const std::size_t colon = writer.rfind(':');
    long pid = 0;
    if (colon == std::string_view::npos) return std::nullopt;
    const auto [end, error] = std::from_chars(writer.data() + colon + 1, writer.data() + writer.size(), pid);
    if (error != std::errc() || end != writer.data() + writer.size()) return std::nullopt;
    return pid;
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

Result<SerialsOutcome> RunSerials(const std::string& list, SerialsAction action, const std::vector<std::string>& serials) {
    const std::unique_ptr<SerialLedger> opened = OpenSerialLedger(list, HostName());
    SerialLedger& ledger = *opened;
    SerialsOutcome outcome{ledger.ListPath(), ledger.RecordPath(), {}, {}};
    Result<SerialsState> state = ledger.State();
    if (action == SerialsAction::Return && state) state = ledger.Return(serials);
    if (action == SerialsAction::Resolve && state && !state->unknown.empty()) {
        const Result<std::vector<KEYPAD_ENTRY>> attached = ListAttached();
        if (!attached) return attached.failure();
        const std::vector<StatusReading> readings = ReadStatuses(*attached);
        std::vector<std::pair<std::string, std::string>> held;
        for (const std::size_t i : PortOrder(*attached)) {
            const StatusReading& reading = readings[i];
            if (reading.status) {
                held.emplace_back(KeypadIdentityName(reading.keypad), TrimmedRight(reading.status->SerialNumber));
            } else {
                outcome.unread.emplace_back(reading.keypad, reading.failure);
            }
        }
        state = ledger.Resolve(held);
    }
    if (!state) return Failure{state.failure().status, EscapeControl(state.failure().message), state.failure().hint};
    outcome.state = std::move(*state);
    return outcome;
}

Result<std::string> InitSerials(const std::string& uri, const std::string& list) {
    if (!IsDatabaseUri(uri)) return Failure{kUsage, "serials init takes a database's URI (postgresql://...), not " + EscapeControl(uri)};
    std::vector<std::string> serials;
    if (!list.empty()) {
        Result<std::vector<std::string>> read = FileStore(list, list + ".taken").Serials();
        if (!read) return read.failure();
        serials = std::move(*read);
    }
    PostgresLedger ledger(uri, HostName());
    const Result<std::size_t> added = ledger.Init(serials);
    if (!added) return Failure{added.failure().status, EscapeControl(added.failure().message), EscapeControl(added.failure().hint)};
    const std::string shown = EscapeControl(ShownUri(uri));
    if (list.empty()) return "velnor's schema is in " + shown;
    return std::to_string(*added) + " of the " + std::to_string(serials.size()) + " serial numbers of " + EscapeControl(list) +
           " added to " + shown + (*added < serials.size() ? " (the others were there already)" : "");
}

std::string RenderSerials(const SerialsOutcome& outcome, SerialsAction action) {
    std::string text;
    for (const PendingSerial& settled : outcome.state.settled) {
        text += action == SerialsAction::Resolve ? "settled: " + Shown(settled.serial) + " taken by keypad " + Shown(settled.keypad) + "\n"
                                                 : "returned: " + Shown(settled.serial) + "\n";
    }
    const SerialCounts& counts = outcome.state.counts;
    text += AlignColumns({{"free", std::to_string(counts.free), "never taken"},
                          {"returned", std::to_string(counts.returned), "free again"},
                          {"taken", std::to_string(counts.taken), ""},
                          {"taking", std::to_string(counts.taking), "a velnor is at work on them (or one of another host)"},
                          {"unknown", std::to_string(counts.unknown), "never handed out again until settled"}});
    if (outcome.state.unknown.empty()) return text;
    std::vector<std::vector<std::string>> rows{{"UNKNOWN", "TAKING SINCE", "HOST", "KEYPAD"}};
    for (const PendingSerial& unknown : outcome.state.unknown) {
        rows.push_back({Shown(unknown.serial), Shown(unknown.time), Shown(std::string(HostOf(unknown.writer))), Shown(unknown.keypad)});
    }
    const std::string list = EscapeControl(outcome.list);
    text += AlignColumns(rows);
    text += action == SerialsAction::Resolve
                ? "no attached keypad holds these; once you have made sure that no other keypad does, velnor serials " +
                      list + " --return SERIAL... returns them\n"
                : "velnor serials " + list + " --resolve settles those that an attached keypad holds\n";
    return text;
}

Json SerialsJson(const SerialsOutcome& outcome, SerialsAction action) {
    const SerialCounts& counts = outcome.state.counts;
    Json document{{"list", outcome.list},
                  {"record", outcome.record},
                  {"counts",
                   {{"free", counts.free}, {"returned", counts.returned}, {"taken", counts.taken}, {"taking", counts.taking}, {"unknown", counts.unknown}}},
                  {"unknown", Json::array()},
                  {"settled", Json::array()},
                  {"unread", Json::array()}};
    for (const PendingSerial& unknown : outcome.state.unknown) {
        const std::optional<long> pid = PidOf(unknown.writer);
        document["unknown"].push_back({{"serial", unknown.serial},
                                       {"time", TextOrNull(unknown.time)},
                                       {"host", TextOrNull(std::string(HostOf(unknown.writer)))},
                                       {"pid", pid ? Json(*pid) : Json(nullptr)},
                                       {"keypad", TextOrNull(unknown.keypad)}});
    }
    for (const PendingSerial& settled : outcome.state.settled) {
        document["settled"].push_back({{"serial", settled.serial},
                                       {"state", action == SerialsAction::Resolve ? "taken" : "returned"},
                                       {"time", settled.time},
                                       {"host", std::string(HostOf(settled.writer))},
                                       {"keypad", settled.keypad}});
    }
    for (const auto& [keypad, failure] : outcome.unread) {
        document["unread"].push_back({{"keypad", KeypadJson(keypad)}, {"status", failure.status}, {"message", failure.message}});
    }
    return document;
}

}  // namespace velnorcli
