#include "SerialLedger.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

#include "Text.h"
#include "UtcTime.h"
#include "db/Database.h"
#include "db/PostgresLedger.h"
#include "serials/FileStore.h"

namespace velnorcli {

std::string LedgerHost() {
    const std::string host = HostName();
    return host.empty() ? "?" : host;
}

std::string LedgerWriter() { return LedgerHost() + ":" + std::to_string(getpid()); }

std::string LedgerNow() { return UtcTime(std::chrono::system_clock::now(), true); }

std::string LedgerOperator() {
    const passwd* user = getpwuid(geteuid());
    return "operator " + (user != nullptr && user->pw_name != nullptr ? std::string(user->pw_name) : std::to_string(geteuid()));
}

bool LedgerRuns(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

std::unique_ptr<SerialLedger> OpenSerialLedger(const std::string& serials, const std::string& station) {
    if (IsDatabaseUri(serials)) return std::make_unique<PostgresLedger>(serials, station);
    return std::make_unique<FileLedger>(serials);
}

Result<std::string> SerialLedger::Take(const std::string& keypad, const LedgerWait& wait) {
    const Result<std::vector<GivenSerial>> given = Give({SerialClaim{{keypad}, ""}}, true, wait);
    if (!given) return given.failure();
    return given->front().serial;
}

FileLedger::FileLedger(const std::string& listPath)
    : SerialLedger(listPath, listPath + ".taken"), store_(std::make_unique<FileStore>(ListPath(), RecordPath())) {}

Done FileLedger::Check() const { return store_->Check(); }

Result<std::vector<GivenSerial>> FileLedger::Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait& wait) {
    // The list is read before the lock, which is held only while the record is read and added to.
    const Result<std::vector<std::string>> serials = store_->Serials();
    if (!serials) return serials.failure();
    LastStates states;
    const EventSink read = [&states](const SerialEvent& event) { states.Add(event); };
    SerialAssignment assignment;
    std::vector<PendingSerial> taking;  // the lines the events below view
    const auto assign = [&]() -> Result<std::vector<SerialEvent>> {
        assignment = AssignSerials(states, *serials, claims);
        if (assignment.missing > 0) {
            const std::string list = EscapeControl(ListPath());
            const std::size_t free = assignment.fresh - assignment.missing;
            return Failure{kFileProblem,
                           "the serial list " + list + " has " + std::to_string(free) + " free serial " +
                               (free == 1 ? "number" : "numbers") + " for the " + std::to_string(assignment.fresh) + " " +
                               (assignment.fresh == 1 ? "keypad that needs one" : "keypads that need one") + ": " +
                               std::to_string(assignment.missing) + " missing",
                           "add " + std::to_string(assignment.missing) + " serial " +
                               (assignment.missing == 1 ? "number" : "numbers") + " to " + list + "; velnor serials " +
                               list + " shows what became of the others"};
        }
        const std::string time = LedgerNow();
        const std::string writer = LedgerWriter();
        for (std::size_t i = 0; i < claims.size(); ++i) {
            const GivenSerial& given = assignment.given[i];
            if (given.fresh) taking.push_back({given.serial, time, writer, claims[i].names.front()});
        }
        std::vector<SerialEvent> events;
        for (const PendingSerial& line : taking) {
            events.push_back({line.serial, SerialState::Taking, line.time, line.writer, line.keypad});
        }
        return events;
    };
    if (record) {
        if (const Done given = store_->Change(wait, &read, assign); !given) return given.failure();
    } else {
        if (const Done readAll = store_->Read(read); !readAll) return readAll.failure();
        if (const Result<std::vector<SerialEvent>> assigned = assign(); !assigned) return assigned.failure();
    }
    return assignment.given;
}

Done FileLedger::Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait) {
    const std::string writer = LedgerWriter();
    std::string time;
    bool locked = false;
    Done settled = store_->Change(wait, nullptr, [&]() -> Result<std::vector<SerialEvent>> {
        locked = true;
        time = LedgerNow();
        return std::vector<SerialEvent>{{serial, outcome, time, writer, keypad}};
    });
    if (settled || locked) return settled;
    return Failure{settled.failure().status, "serial " + serial + " stays recorded as taking: " + settled.failure().message};
}

std::vector<std::string> FileLedger::Unknown() const {
    Unsettled unsettled;
    // What could be read of the record counts; a failure is the next Take's to report.
    static_cast<void>(store_->Read([&unsettled](const SerialEvent& event) { unsettled.Add(event); }));
    std::vector<std::string> serials;
    for (const PendingSerial& pending : unsettled.Unknown(LedgerHost(), LedgerRuns)) serials.push_back(pending.serial);
    return serials;
}

Result<SerialsState> FileLedger::State() const {
    const Result<std::vector<std::string>> serials = store_->Serials();
    if (!serials) return serials.failure();
    LastStates states;
    Unsettled unsettled;
    const Done read = store_->Read([&](const SerialEvent& event) {
        states.Add(event);
        unsettled.Add(event);
    });
    if (!read) return read.failure();
    SerialsState state;
    state.unknown = unsettled.Unknown(LedgerHost(), LedgerRuns);
    state.counts = CountSerials(*serials, states, state.unknown);
    return state;
}

namespace {

// The events of record lines, viewing them.
std::vector<SerialEvent> EventsOf(const std::vector<PendingSerial>& lines, SerialState state) {
    std::vector<SerialEvent> events;
    for (const PendingSerial& line : lines) events.push_back({line.serial, state, line.time, line.writer, line.keypad});
    return events;
}

}  // namespace

Result<SerialsState> FileLedger::Resolve(const std::vector<std::pair<std::string, std::string>>& held) {
    if (Result<std::vector<std::string>> serials = store_->Serials(); !serials) return serials.failure();
    Unsettled unsettled;
    std::vector<PendingSerial> settled;
    const EventSink read = [&unsettled](const SerialEvent& event) { unsettled.Add(event); };
    const Done changed = store_->Change({}, &read, [&]() -> Result<std::vector<SerialEvent>> {
        const std::string time = LedgerNow();
        for (const PendingSerial& pending : unsettled.Unknown(LedgerHost(), LedgerRuns)) {
            const auto holder = std::find_if(held.begin(), held.end(), [&](const auto& keypad) { return keypad.second == pending.serial; });
            if (holder != held.end()) settled.push_back({pending.serial, time, LedgerWriter(), holder->first});
        }
        return EventsOf(settled, SerialState::Taken);
    });
    if (!changed) return changed.failure();
    Result<SerialsState> state = State();
    if (state) state->settled = std::move(settled);
    return state;
}

Result<SerialsState> FileLedger::Return(const std::vector<std::string>& serials) {
    const std::string by = LedgerOperator();
    if (Result<std::vector<std::string>> list = store_->Serials(); !list) return list.failure();
    LastStates states;
    Unsettled unsettled;
    std::vector<PendingSerial> settled;
    const EventSink read = [&](const SerialEvent& event) {
        states.Add(event);
        unsettled.Add(event);
    };
    const Done changed = store_->Change({}, &read, [&]() -> Result<std::vector<SerialEvent>> {
        const std::vector<PendingSerial> unknown = unsettled.Unknown(LedgerHost(), LedgerRuns);
        const std::string time = LedgerNow();
        for (const std::string& serial : serials) {
            const bool isUnknown = std::any_of(unknown.begin(), unknown.end(), [&](const PendingSerial& p) { return p.serial == serial; });
            if (!isUnknown) {
                const std::optional<SerialState> last = states.StatesOf({serial}).front();
                const char* what = !last                               ? "it was never taken"
                                   : *last == SerialState::Taken       ? "it is taken"
                                   : *last == SerialState::Returned    ? "it is returned already"
                                                                       : "a velnor that still runs, or one of another host, is at work on it";
                return Failure{kFileProblem, "serial " + EscapeControl(serial) + " has no unknown outcome in " +
                                                 EscapeControl(RecordPath()) + " (" + what + "); nothing was returned"};
            }
            if (std::none_of(settled.begin(), settled.end(), [&](const PendingSerial& p) { return p.serial == serial; })) {
                settled.push_back({serial, time, LedgerWriter(), by});
            }
        }
        return EventsOf(settled, SerialState::Returned);
    });
    if (!changed) return changed.failure();
    Result<SerialsState> state = State();
    if (state) state->settled = std::move(settled);
    return state;
}

}  // namespace velnorcli
