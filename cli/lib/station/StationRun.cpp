#include "StationRun.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "../Attached.h"
#include "../Render.h"
#include "../Selection.h"
#include "../Text.h"
#include "../UtcTime.h"
#include "../Waiting.h"

namespace velnorcli {

namespace {

using Clock = std::chrono::steady_clock;

// How often a station with keypads in progress looks whether they ended, or for a second signal.
constexpr std::chrono::milliseconds kInProgressLook{100};

const char* EventName(EventKind kind) {
    switch (kind) {
    case EventKind::Attached: return "attached";
    case EventKind::Started: return "started";
    case EventKind::Finished: return "finished";
    case EventKind::Left: return "left";
    }
    return "";
}

bool Good(const KeypadReport& report) {
    return report.status == kDone && (report.result == KeypadResult::Updated || report.result == KeypadResult::UpToDate);
}

// What the keypads' threads hand back to the station's thread.
struct Handed {
    std::mutex mutex;
    std::vector<KeypadReport> finished;
    std::vector<std::string> over;  // identities whose restore and feedback ended
    std::vector<std::string> back;  // of those, the failed ones that were unplugged and plugged in again
};

// One batch: the keypads noticed together, restored as restore --all restores them.
struct Batch {
    std::thread thread;
    std::atomic<bool> over{false};
};

void RunBatch(const std::vector<KEYPAD_ENTRY>& keypads, const RestoreSource& source, const StationRunOptions& options,
              StationOptions restore, Handed& handed) {
    // The steps of each keypad, told on as they are set (what it waits for then too: no notice).
    std::vector<std::string> names;
    for (const KEYPAD_ENTRY& keypad : keypads) names.push_back(KeypadName(keypad));
    ProgressBoard steps(names, Clock::now(), [&](std::size_t i, const std::string& step) { options.step(keypads[i], step); });
    if (options.step) restore.progress = &steps;
    const Result<std::vector<KeypadReport>> restored = RestoreKeypads(keypads, source, restore);
    std::vector<KeypadReport> reports;
    if (restored) {
        reports = *restored;
    } else {
        // No keypad was written (the serial list failed): each is reported so, as its log line is.
        for (const KEYPAD_ENTRY& keypad : keypads) {
            KeypadReport report;
            report.keypad = keypad;
            report.result = KeypadResult::UnchangedAfterFailure;
            report.status = restored.failure().status;
            report.message = restored.failure().message;
            reports.push_back(std::move(report));
        }
    }
    {
        const std::lock_guard lock(handed.mutex);
        handed.finished.insert(handed.finished.end(), reports.begin(), reports.end());
    }
    if (options.feedback) {
        InParallel(reports.size(), [&](std::size_t i) {
            const KeypadReport& report = reports[i];
            // Without a status read, nothing was written: the feedback reads what it holds.
            const std::optional<DEVICE_INFO>& flash = report.after ? report.after : report.before;
            const Done shown = options.feedback(report.keypad, Good(report) ? Shown::Good : Shown::Failed,
                                                flash ? std::optional<Settings>(SettingsOfKeypad(*flash)) : std::nullopt, restore.stop);
            if (!shown && options.warn) options.warn(shown.failure().message);
            if (options.shown) options.shown(report.keypad);
        });
    }
    const std::lock_guard lock(handed.mutex);
    for (const KEYPAD_ENTRY& keypad : keypads) handed.over.push_back(KeypadIdentityName(keypad));
    // One that failed because it was unplugged, and was plugged in again while its restore
    // waited for it, left: it is a keypad that appears, to be restored again.
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (reports[i].cameBack && !Good(reports[i])) handed.back.push_back(KeypadIdentityName(keypads[i]));
    }
}

}  // namespace

Look LookAt(const std::vector<KEYPAD_ENTRY>& listed, const std::map<std::string, Phase>& tracked,
            const std::vector<std::string>& ports, bool starting) {
    Look look;
    std::set<std::string> present;
    for (const std::size_t i : PortOrder(listed)) {
        if (!ports.empty() && std::find(ports.begin(), ports.end(), listed[i].Location) == ports.end()) continue;
        // A kernel node without the USB port it hangs from went away while it was listed (its
        // device half gone from sysfs): not a keypad to start under its path; the next look
        // settles it.
        if (listed[i].Location.empty() && listed[i].Path.rfind("/dev/", 0) == 0) continue;
        const std::string identity = KeypadIdentityName(listed[i]);
        if (!present.insert(identity).second) continue;
        if (starting && tracked.count(identity) == 0) look.start.push_back(i);
    }
    for (const auto& [identity, phase] : tracked) {
        if (phase == Phase::Done && present.count(identity) == 0) look.left.push_back(identity);
    }
    return look;
}

std::optional<std::string> SerialAfter(const KeypadReport& report) {
    // A failed keypad's flash is not known (its last read may be of RAM before the flash
    // command): its serial is as unknown as the record of serials has it.
    if (report.result == KeypadResult::Failed) return std::nullopt;
    if (report.after) return report.after->SerialNumber;
    const bool unchanged = report.result == KeypadResult::UpToDate || report.result == KeypadResult::UnchangedAfterFailure;
    if (unchanged && report.before) return report.before->SerialNumber;
    return std::nullopt;
}

Json StationEventJson(const StationEvent& event, const std::string& time) {
    Json line{{"event", EventName(event.kind)}, {"time", time}, {"keypad", KeypadJson(event.keypad)}};
    if (event.kind != EventKind::Finished || event.report == nullptr) return line;
    line["keypad"] = KeypadJson(event.report->keypad);
    const Json entry = ReportsJson({*event.report})["keypads"][0];
    for (auto member = entry.begin(); member != entry.end(); ++member) {
        if (member.key() != "keypad") line[member.key()] = member.value();
    }
    const std::optional<std::string> serial = SerialAfter(*event.report);
    line["serial"] = serial ? Json(*serial) : Json(nullptr);
    return line;
}

StationSummary RunStationLoop(const RestoreSource& source, const StationRunOptions& options) {
    const Clock::time_point start = Clock::now();
    std::atomic<bool> abort{false};  // the second signal: the keypads in progress stop after their step
    StationOptions restore = options.restore;
    restore.stop = &abort;
    const auto tell = [&options](EventKind kind, const KEYPAD_ENTRY& keypad, const KeypadReport* report = nullptr) {
        if (options.event) options.event(StationEvent{kind, keypad, report});
    };

    std::map<std::string, Phase> tracked;
    std::map<std::string, KEYPAD_ENTRY> seen;  // as each tracked keypad was listed last
    Handed handed;
    std::list<Batch> batches;
    StationSummary summary;
    std::size_t started = 0;
    bool listingFailed = false;
    for (;;) {
        if (options.signals != nullptr && options.signals->load() >= 2) abort = true;
        std::vector<KeypadReport> finished;
        std::vector<std::string> back;
        {
            const std::lock_guard lock(handed.mutex);
            finished.swap(handed.finished);
            for (const std::string& identity : handed.over) tracked[identity] = Phase::Done;
            handed.over.clear();
            back.swap(handed.back);
        }
        // Told without the lock: a reader of the events that is slow holds up no keypad's thread.
        for (const KeypadReport& report : finished) {
            summary.counts.Add(report);
            summary.worst = std::max(summary.worst, report.status);
            tell(EventKind::Finished, report.keypad, &report);
        }
        for (const std::string& identity : back) {
            tell(EventKind::Left, seen.count(identity) != 0 ? seen[identity] : KEYPAD_ENTRY{});
            tracked.erase(identity);
            seen.erase(identity);
        }
        batches.remove_if([](Batch& batch) {
            if (!batch.over) return false;
            batch.thread.join();
            return true;
        });
        const bool stopping = StopRequested(options.stop);
        const bool enough = options.once != 0 && started >= options.once;
        if ((stopping || (enough && summary.counts.Ended() >= started)) && batches.empty()) break;

        const Result<std::vector<KEYPAD_ENTRY>> listed = ListAttached();
        if (!listed && !listingFailed && options.warn) options.warn(listed.failure().message);
        listingFailed = !listed;
        if (listed) {
            Look look = LookAt(*listed, tracked, options.ports, !stopping && !enough);
            for (const std::string& identity : look.left) {
                tell(EventKind::Left, seen[identity]);
                tracked.erase(identity);
                seen.erase(identity);
            }
            if (options.once != 0 && look.start.size() > options.once - started) look.start.resize(options.once - started);
            std::vector<KEYPAD_ENTRY> batch;
            for (const std::size_t i : look.start) {
                const std::string identity = KeypadIdentityName((*listed)[i]);
                tracked[identity] = Phase::InProgress;
                batch.push_back((*listed)[i]);
                tell(EventKind::Attached, batch.back());
            }
            for (const KEYPAD_ENTRY& keypad : *listed) {
                if (tracked.count(KeypadIdentityName(keypad)) != 0) seen[KeypadIdentityName(keypad)] = keypad;
            }
            if (!batch.empty()) {
                for (const KEYPAD_ENTRY& keypad : batch) tell(EventKind::Started, keypad);
                started += batch.size();
                Batch& running = batches.emplace_back();
                running.thread = std::thread([&, batch] {
                    RunBatch(batch, source, options, restore, handed);
                    running.over = true;
                });
            }
        }
        const std::chrono::milliseconds limit = batches.empty() ? kLookInterval : kInProgressLook;
        if (stopping || options.watch == nullptr) {
            std::this_thread::sleep_for(kInProgressLook);
        } else {
            options.watch->Wait(limit, options.stop);
        }
    }
    summary.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return summary;
}

void StationCounts::Add(const KeypadReport& report) {
    const bool good = Good(report);
    updated += good && report.result == KeypadResult::Updated ? 1 : 0;
    upToDate += good && report.result == KeypadResult::UpToDate ? 1 : 0;
    failed += good ? 0 : 1;
}

std::string RenderDuration(std::chrono::milliseconds duration) {
    const double seconds = static_cast<double>(duration.count()) / 1000.0;
    char text[32];
    if (seconds < 120) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (seconds < 7200) {
        std::snprintf(text, sizeof text, "%.1f min", seconds / 60);
    } else {
        std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
    }
    return text;
}

std::string RenderStationCounts(const StationCounts& counts, std::chrono::milliseconds elapsed) {
    const std::size_t count = counts.updated + counts.upToDate + counts.failed;
    const std::chrono::milliseconds taken = std::max(elapsed, std::chrono::milliseconds(1));
    const double seconds = static_cast<double>(taken.count()) / 1000.0;
    return "updated " + std::to_string(counts.updated) + ", up to date " + std::to_string(counts.upToDate) + ", failed " +
           std::to_string(counts.failed) + "; " + std::to_string(count) + (count == 1 ? " keypad" : " keypads") + " in " +
           RenderDuration(taken) + ": " + std::to_string(std::lround(count * 3600.0 / seconds)) + " keypads per hour";
}

std::string RenderStationSummary(const StationSummary& summary) {
    return RenderStationCounts(summary.counts, summary.elapsed) + "\n";
}

std::string ShownSerial(const KeypadReport& report) {
    const std::optional<std::string> serial = SerialAfter(report);
    const std::string shown = serial ? TrimmedRight(*serial) : "";
    return shown.empty() ? "-" : EscapeControl(shown);
}

std::string RenderStationLine(const KeypadReport& report) {
    return KeypadName(report.keypad) + "  " + std::string(ResultName(report.result)) + "  " + ShownSerial(report) + "  " +
           RenderDuration(std::chrono::milliseconds(report.durationMs)) + "  " + report.message + "\n";
}

}  // namespace velnorcli
