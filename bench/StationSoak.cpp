#include "StationSoak.h"

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "Attached.h"
#include "Render.h"
#include "Selection.h"
#include "SerialLedger.h"
#include "station/Feedback.h"
#include "station/StationRun.h"
#include "velnor_sim/SimControl.h"

namespace velnorbench {

namespace {

namespace fs = std::filesystem;
using namespace velnorcli;
using Clock = std::chrono::steady_clock;

// The commands a restore sends (status, LED level, buzzer, code table, buzzer period, keypad
// table, flash, restart, key count, serial): one of them pulls a keypad out.
constexpr int kRestoreCommands[] = {1, 2, 4, 5, 6, 7, 9, 10, 11, 14};
constexpr int kRestart = 10;

double Ms(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

long CountEntries(const char* folder) {
    long count = 0;
    for ([[maybe_unused]] const fs::directory_entry& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

// One keypad plugged in: what the operator and the station did with it, and when.
struct Cycle {
    std::string identity;  // its USB serial string
    velnorsim::DeviceId device = 0;
    Clock::time_point plugged{}, started{}, feedbackEnd{};
    Clock::time_point firstWrite{}, restart{}, back{};  // as the keypad received its commands
    std::string flashSerial;  // the serial its flash held when pulled out
    std::optional<KeypadResult> result;  // as the station reported it
    long long durationMs = 0;
    bool pulled = false;  // replaced or pulled out: its cycle is over
};

class Operator {
public:
    Operator(const SoakOptions& options) : options_(options), random_(options.seed) {}

    void PlugAll() {
        velnorsim::RemoveAllDevices();
        for (int port = 1; port <= options_.ports; ++port) {
            const velnorsim::DeviceId id = velnorsim::AddDevice(Setup("1-" + std::to_string(port)));
            Faults(id);
        }
    }

    // The station is done with the keypad on this port: another goes in, while keypads are left.
    void Done(const std::string& location) {
        const std::lock_guard lock(mutex_);
        Cycle* cycle = Current(location);
        if (cycle == nullptr || cycle->pulled) return;
        cycle->pulled = true;
        cycle->feedbackEnd = Clock::now();
        const std::vector<velnorsim::Report> reports = velnorsim::OutputReports(cycle->device);
        const std::vector<Clock::time_point> times = velnorsim::OutputReportTimes(cycle->device);
        for (std::size_t i = 0; i < reports.size() && i < times.size(); ++i) {
            const velnorsim::Report& r = reports[i];
            if (r.size() < 5 || r[2] != 0x02) continue;
            const int command = std::stoi(std::string(r.begin() + 3, r.begin() + 5), nullptr, 16);
            if (command != 1 && cycle->firstWrite == Clock::time_point{}) cycle->firstWrite = times[i];
            if (cycle->restart != Clock::time_point{} && cycle->back == Clock::time_point{}) cycle->back = times[i];
            if (command == kRestart) cycle->restart = times[i];
        }
        cycle->flashSerial = velnorsim::FlashSettings(cycle->device).serialNumber;
        if (static_cast<int>(cycles_.size()) >= options_.keypads) {
            velnorsim::Detach(cycle->device);
            return;
        }
        // Setup adds a cycle, which may move the one `cycle` points at.
        const velnorsim::DeviceId device = cycle->device;
        velnorsim::Replace(device, Setup(location));
        Faults(device);
    }

    void Started(const KEYPAD_ENTRY& keypad) {
        const std::lock_guard lock(mutex_);
        if (const auto found = byIdentity_.find(KeypadIdentityName(keypad)); found != byIdentity_.end()) {
            cycles_[found->second].started = Clock::now();
        }
    }

    // Only what the checks need is kept of a report, so that the memory measured is the station's.
    void Finished(const KeypadReport& report) {
        const std::lock_guard lock(mutex_);
        const auto found = byIdentity_.find(KeypadIdentityName(report.keypad));
        if (found == byIdentity_.end()) return;
        cycles_[found->second].result = report.result;
        cycles_[found->second].durationMs = report.durationMs;
    }

    void PullOutRest() {
        std::vector<std::string> locations;
        {
            const std::lock_guard lock(mutex_);
            for (const auto& [location, index] : current_) locations.push_back(location);
        }
        for (const std::string& location : locations) Done(location);
    }

    std::vector<Cycle> cycles() {
        const std::lock_guard lock(mutex_);
        return cycles_;
    }

private:
    Cycle* Current(const std::string& location) {
        const auto found = current_.find(location);
        return found == current_.end() ? nullptr : &cycles_[found->second];
    }

    // A fresh keypad (its own USB serial, settings other than the file's) at `location`.
    velnorsim::DeviceSetup Setup(const std::string& location) {
        velnorsim::DeviceSetup setup;
        setup.location = location;
        char usb[16];
        std::snprintf(usb, sizeof usb, "KP%05zu", cycles_.size() + 1);
        setup.serialNumber = std::wstring(usb, usb + std::strlen(usb));
        setup.settings.firmwareName = "V7.1";
        setup.settings.serialNumber = "0000" + std::string(usb + 2);
        setup.resetAbsentMs = options_.resetAbsentMs;
        current_[location] = cycles_.size();
        byIdentity_[usb] = cycles_.size();
        Cycle& cycle = cycles_.emplace_back();
        cycle.identity = usb;
        cycle.plugged = Clock::now();
        return setup;
    }

    // Some keypads are pulled out at one command of their restore, for good.
    void Faults(velnorsim::DeviceId id) {
        cycles_.back().device = id;
        if (static_cast<int>(random_() % 100) >= options_.unplugPercent) return;
        const int command = kRestoreCommands[random_() % std::size(kRestoreCommands)];
        velnorsim::SetFault(id, command, {velnorsim::FaultKind::Unplug, 0, 1});
    }

    const SoakOptions& options_;
    std::mt19937 random_;
    std::mutex mutex_;
    std::vector<Cycle> cycles_;                  // guarded by mutex_
    std::map<std::string, std::size_t> current_;  // location -> its keypad's cycle, guarded by mutex_
    std::map<std::string, std::size_t> byIdentity_;  // its USB serial -> its cycle, guarded by mutex_
};

// Each serial's events in the record, as written: serial -> (state, keypad) in order.
std::map<std::string, std::vector<std::pair<std::string, std::string>>> ReadRecord(const std::string& path) {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> events;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> words;
        std::istringstream fields(line);
        for (std::string word; std::getline(fields, word, '\t');) words.push_back(word);
        if (words.size() >= 5) events[words[0]].emplace_back(words[1], words[4]);
    }
    return events;
}

void Problem(SoakOutcome& outcome, std::size_t& counter, const std::string& what) {
    ++counter;
    outcome.problems += what + "\n";
}

// No serial given twice; each keypad's outcome as the record shows it.
void CheckSerials(SoakOutcome& outcome, const std::vector<Cycle>& cycles, const std::string& recordPath) {
    const auto record = ReadRecord(recordPath);
    std::map<std::string, std::pair<std::string, std::string>> last;  // keypad -> its serial's last (serial, state)
    for (const auto& [serial, events] : record) {
        std::string state = "returned";
        for (const auto& [next, keypad] : events) {
            if (next == "taking" && state != "returned") Problem(outcome, outcome.givenTwice, "serial " + serial + " taken again while " + state);
            state = next;
            last[keypad] = {serial, next};
        }
    }
    std::map<std::string, std::string> holders;
    for (const Cycle& cycle : cycles) {
        if (record.count(cycle.flashSerial) == 0) continue;
        if (!holders.emplace(cycle.flashSerial, cycle.identity).second) {
            Problem(outcome, outcome.givenTwice, "serial " + cycle.flashSerial + " held by " + holders[cycle.flashSerial] + " and " + cycle.identity);
        }
    }
    std::set<std::string> reported;
    for (const Cycle& cycle : cycles) {
        if (!cycle.result) continue;
        const std::string& keypad = cycle.identity;
        reported.insert(keypad);
        const auto found = last.find(keypad);
        const std::string state = found == last.end() ? "none" : found->second.second;
        const std::string serial = found == last.end() ? "" : found->second.first;
        const std::string& flash = cycle.flashSerial;
        bool right = true;
        if (cycle.result == KeypadResult::Updated) {
            ++outcome.updated;
            right = state == "taken" && flash == serial;
        } else if (cycle.result == KeypadResult::UnchangedAfterFailure) {
            ++outcome.unchanged;
            right = (state == "returned" || state == "none") && flash != serial;
        } else {
            ++outcome.unknown;
            right = state == "taking";
        }
        if (!right) Problem(outcome, outcome.recordWrong, "keypad " + keypad + " " + std::string(ResultName(*cycle.result)) + "; the record: " + serial + " " + state);
    }
    for (const auto& [keypad, serialState] : last) {
        if (serialState.second == "taking" && reported.count(keypad) == 0) {
            Problem(outcome, outcome.recordWrong, "serial " + serialState.first + " left taking by unreported " + keypad);
        }
    }
    for (const Cycle& cycle : cycles) {
        if (reported.count(cycle.identity) == 0) Problem(outcome, outcome.notReported, "keypad " + cycle.identity + " never reported");
    }
}

void AddTimes(CycleTimes& times, const Cycle& cycle) {
    if (cycle.result != KeypadResult::Updated || cycle.started == Clock::time_point{} || cycle.back == Clock::time_point{}) return;
    const Clock::time_point firstWrite = cycle.firstWrite, restart = cycle.restart, back = cycle.back;
    const Clock::time_point ended = cycle.started + std::chrono::milliseconds(cycle.durationMs);
    ++times.keypads;
    times.idle += Ms(cycle.started - cycle.plugged);
    times.read += Ms(firstWrite - cycle.started);
    times.write += Ms(restart - firstWrite);
    times.restart += Ms(back - restart);
    times.verify += Ms(ended - back);
    times.feedback += std::max(0.0, Ms(cycle.feedbackEnd - ended));
}

}  // namespace

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
long ThreadCount() { return CountEntries("/proc/self/task"); }
long DescriptorCount() { return CountEntries("/proc/self/fd") - 1; }  // less the one that lists them

SoakOutcome RunSoak(const SoakOptions& options) {
    SoakOutcome outcome;
    const fs::path folder = fs::temp_directory_path() / ("velnor-soak-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string list = (folder / "serials.txt").string();
    fs::remove(list + ".taken");
    {
        std::ofstream out(list);
        for (int i = 1; i <= options.keypads + 16; ++i) out << "SN" << 100000 + i << "\n";
    }
    auto content = ReadBackupPath(VELNOR_EXAMPLES_DIR "/backup-8-keys.txt");
    if (!content) {
        outcome.problems = content.failure().message;
        return outcome;
    }
    const RestoreSource source{"backup-8-keys.txt", std::move(*content)};
    FileLedger ledger(list);
    Operator hand(options);
    hand.PlugAll();
    (void)ListAttached();  // the library's set-up, once per process, before the baseline
    outcome.threadsBefore = ThreadCount();
    outcome.fdsBefore = DescriptorCount();
    outcome.rssBeforeKiB = ResidentKiB();

    const std::unique_ptr<KeypadWatch> watch = LookEvery500Ms();
    StationRunOptions run;
    run.restore.command = "restore";
    run.restore.serials = &ledger;
    run.restore.restartTimeoutMs = std::max(400, 4 * options.resetAbsentMs);
    run.once = static_cast<std::size_t>(options.keypads);
    run.watch = watch.get();
    if (options.feedback) {
        run.feedback = [&hand](const KEYPAD_ENTRY& keypad, Shown shown, const std::optional<Settings>& flash, const std::atomic<bool>* stop) {
            const velnorcli::Done shownDone = ShowResult(keypad, shown, flash, stop);
            hand.Done(keypad.Location);
            return shownDone;
        };
    }
    std::size_t finished = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastEnded = start;
    run.event = [&](const StationEvent& event) {
        if (event.kind == EventKind::Started) hand.Started(event.keypad);
        if (event.kind != EventKind::Finished) return;
        hand.Finished(*event.report);
        ++finished;
        if (finished == std::max<std::size_t>(1, run.once / 10)) outcome.rssEarlyKiB = ResidentKiB();
        if (finished == run.once) outcome.rssLateKiB = ResidentKiB();
        const KeypadReport& report = *event.report;
        // A keypad with no status read is not blinked: the operator takes it when it is reported.
        if (!options.feedback || (!report.after && !report.before)) hand.Done(report.keypad.Location);
    };
    const StationSummary summary = RunStationLoop(source, run);
    outcome.seconds = Ms(Clock::now() - start) / 1000;
    outcome.threadsAfter = ThreadCount();
    outcome.fdsAfter = DescriptorCount();
    outcome.rssAfterKiB = ResidentKiB();
    hand.PullOutRest();
    outcome.ended = summary.counts.Ended();

    const std::vector<Cycle> cycles = hand.cycles();
    CheckSerials(outcome, cycles, ledger.RecordPath());
    for (const Cycle& cycle : cycles) {
        if (!cycle.result) continue;
        AddTimes(outcome.times, cycle);
        lastEnded = std::max(lastEnded, cycle.started + std::chrono::milliseconds(cycle.durationMs));
    }
    outcome.allVerifiedMs = Ms(lastEnded - start);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return outcome;
}

}  // namespace velnorbench
