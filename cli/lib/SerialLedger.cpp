#include "SerialLedger.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "Text.h"
#include "UtcTime.h"
#include "serials/FileStore.h"

namespace velnorcli {

namespace {

std::string Host() {
    const std::string host = HostName();
    return host.empty() ? "?" : host;
}

// HOST:PID of this velnor, as the record names the writer of a line.
std::string Writer() { return Host() + ":" + std::to_string(getpid()); }

std::string Now() { return UtcTime(std::chrono::system_clock::now(), true); }

bool Runs(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

}  // namespace

SerialLedger::SerialLedger(std::string listPath)
    : listPath_(std::move(listPath)),
      recordPath_(listPath_ + ".taken"),
      store_(std::make_unique<FileStore>(listPath_, recordPath_)) {}

Done SerialLedger::Check() const { return store_->Check(); }

Result<std::string> SerialLedger::Take(const std::string& keypad, const LedgerWait& wait) {
    // The list is read before the lock, which is held only while the record is read and added to.
    const Result<std::vector<std::string>> serials = store_->Serials();
    if (!serials) return serials.failure();
    LastStates states;
    const EventSink read = [&states](const SerialEvent& event) { states.Add(event); };
    const std::string writer = Writer();
    std::string chosen;
    std::string time;
    const Done taken = store_->Change(wait, &read, [&]() -> Result<SerialEvent> {
        const std::vector<std::string> free = states.Free(*serials, 1);
        if (free.empty()) {
            return Failure{kFileProblem, "every serial number of " + EscapeControl(listPath_) + " is taken (or its outcome unknown)"};
        }
        chosen = free.front();
        time = Now();
        return SerialEvent{chosen, SerialState::Taking, time, writer, keypad};
    });
    if (!taken) return taken.failure();
    return chosen;
}

Done SerialLedger::Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait) {
    const std::string writer = Writer();
    std::string time;
    bool locked = false;
    Done settled = store_->Change(wait, nullptr, [&]() -> Result<SerialEvent> {
        locked = true;
        time = Now();
        return SerialEvent{serial, outcome, time, writer, keypad};
    });
    if (settled || locked) return settled;
    return Failure{settled.failure().status, "serial " + serial + " stays recorded as taking: " + settled.failure().message};
}

Result<std::vector<std::string>> SerialLedger::Free(std::size_t most) const {
    const Result<std::vector<std::string>> serials = store_->Serials();
    if (!serials) return serials.failure();
    LastStates states;
    if (Done read = store_->Read([&states](const SerialEvent& event) { states.Add(event); }); !read) return read.failure();
    return states.Free(*serials, most);
}

bool SerialLedger::TakenBy(const std::string& serial, const std::string& keypad) const {
    Holding holding(serial, keypad);
    const Done read = store_->Read([&holding](const SerialEvent& event) { holding.Add(event); });
    return read && holding.Holds();
}

std::vector<std::string> SerialLedger::Unknown() const {
    Unsettled unsettled;
    // What could be read of the record counts; a failure is the next Take's to report.
    static_cast<void>(store_->Read([&unsettled](const SerialEvent& event) { unsettled.Add(event); }));
    return unsettled.Unknown(Host(), Runs);
}

}  // namespace velnorcli
