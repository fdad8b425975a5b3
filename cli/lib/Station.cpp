#include "Station.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "Attached.h"
#include "Json.h"
#include "Render.h"
#include "Selection.h"
#include "Sha256.h"
#include "Text.h"
#include "UtcTime.h"

namespace velnorcli {

namespace {

using Clock = std::chrono::steady_clock;

// One keypad's run: the report it fills, its progress line, and its opened keypad.
class KeypadRun {
public:
    KeypadRun(const KEYPAD_ENTRY& entry, std::size_t index, const StationOptions& options)
        : keypad_(entry), index_(index), options_(options), start_(Clock::now()) {
        report_.keypad = entry;
    }

    // Opens the keypad and reads its status into report().before; false when the report is
    // final already.
    bool OpenAndRead() {
        if (Stopped()) return Stop("interrupted before keypad " + KeypadName(keypad_.Entry()) + " was opened");
        Tell("opening");
        if (const Done opened = keypad_.Open(); !opened) return Stop(WithHint(opened.failure()), opened.failure().status);
        Tell("reading the status");
        DEVICE_INFO before;
        if (const int code = keypad_.Status(before); code != 0) {
            const Failure failure = FailureOf(code, keypad_.Entry(), "reading the status");
            return Stop(failure.message, failure.status);
        }
        report_.before = before;
        return true;
    }

    // Nothing written; the report says why.
    bool Stop(const std::string& message, ExitStatus status = kInterrupted) {
        report_.result = KeypadResult::UnchangedAfterFailure;
        report_.status = status;
        report_.message = message + (status == kInterrupted ? "; nothing was written" : "");
        return false;
    }

    void Plain(KeypadResult result, const std::string& message, const std::vector<Difference>& changes) {
        report_.result = result;
        report_.status = kDone;
        report_.message = message;
        report_.changes = changes;
    }

    void Carried(const Plan& plan, const Target& target, const std::string& targetName) {
        CarryOptions carry;
        carry.targetName = targetName;
        carry.restartTimeoutMs = options_.restartTimeoutMs;
        carry.stop = options_.stop;
        carry.progress = [this](const std::string& step) { Tell(step); };
        const Outcome outcome = Carry(keypad_, plan, target, SettingsOfKeypad(*report_.before), carry);
        report_.result = outcome.result;
        report_.status = outcome.status;
        report_.message = outcome.message;
        report_.changes = plan.changes;
        report_.differences = outcome.differences;
        report_.after = outcome.after;
        report_.cameBack = outcome.cameBack;
    }

    void AddProblem(const Done& problem) {
        if (problem) return;
        report_.message += "; " + problem.failure().message;
        report_.status = std::max(report_.status, problem.failure().status);
    }

    // The report as it ends: the keypad as attached now, the time taken, the log line written.
    KeypadReport Finish(const std::optional<RestoreSource>& file) {
        report_.keypad = keypad_.Current();
        // A keypad that failed while a stop was asked for counts as stopped: the signal's status.
        if (Stopped() && report_.status != kDone) report_.status = kInterrupted;
        report_.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
        if (options_.log != nullptr) {
            AddProblem(LogReport(*options_.log, report_, options_.command, options_.version, file, options_.stop));
        }
        if (options_.progress != nullptr) {
            options_.progress->Finish(index_, std::string(ResultName(report_.result)) + (report_.status != kDone ? " (" + std::to_string(report_.status) + ")" : ""));
        }
        return report_;
    }

    Keypad& keypad() { return keypad_; }
    KeypadReport& report() { return report_; }
    std::string Name() const { return KeypadName(keypad_.Entry()); }
    void Tell(const std::string& step) {
        if (options_.progress != nullptr) options_.progress->Set(index_, step);
    }
    // A long wait: on its progress line, else as a message.
    void TellWait(const std::string& what) {
        Tell(what);
        if (options_.progress == nullptr && options_.notice) options_.notice("keypad " + Name() + " " + what);
    }
    bool Stopped() const { return options_.stop != nullptr && options_.stop->load(); }

private:
    Keypad keypad_;
    std::size_t index_;
    const StationOptions& options_;
    Clock::time_point start_;
    KeypadReport report_;
};

std::vector<KeypadReport> OnEach(const std::vector<KEYPAD_ENTRY>& keypads,
                                 const std::function<KeypadReport(std::size_t)>& work) {
    std::vector<KeypadReport> reports(keypads.size());
    InParallel(keypads.size(), [&](std::size_t i) { reports[i] = work(i); });
    return reports;
}

// How the record of taken serials names a keypad: Give, Settle and the --resolve of velnor
// serials all ask here. By the keypad's identity (USB serial string, else location, else path),
// as it was opened.
std::string RecordedName(KeypadRun& run) { return KeypadIdentityName(run.keypad().Entry()); }

using Runs = std::vector<std::unique_ptr<KeypadRun>>;

// With --serials: the serial of each keypad that was read (none for the others), chosen for all
// at once in port order before any is written, so that a tray gets the same serials in the same
// places however fast its keypads are. A keypad that holds the serial the list gave it keeps
// it: a second run over the same keypad uses up no serial. Only the keypad the record names:
// another keypad holding the same serial (restored from the same backup, say) gets a fresh one.
Result<std::vector<std::optional<GivenSerial>>> GiveSerials(const Runs& runs, const std::vector<char>& read,
                                                            const std::vector<KEYPAD_ENTRY>& keypads,
                                                            const StationOptions& options) {
    std::vector<std::size_t> claimants;
    std::vector<SerialClaim> claims;
    for (const std::size_t i : PortOrder(keypads)) {
        if (read[i] == 0) continue;
        KeypadRun& run = *runs[i];
        run.Tell("taking a serial number");
        claimants.push_back(i);
        // Records of earlier versions name the keypad as messages do, and still count.
        claims.push_back({{RecordedName(run), run.Name()}, TrimmedRight(run.report().before->SerialNumber)});
    }
    std::vector<std::optional<GivenSerial>> serials(runs.size());
    if (claims.empty()) return serials;
    const std::string record = options.serials->RecordPath();
    const LedgerWait wait{options.stop, [&](const std::string& holder) {
                              const std::string what = "waits for the lock of " + record + ", held by " + holder;
                              for (const std::size_t i : claimants) runs[i]->Tell(what);
                              if (options.progress != nullptr || !options.notice) return;
                              options.notice(claimants.size() == 1 ? "keypad " + runs[claimants.front()]->Name() + " " + what
                                                                   : "the keypads " + what);
                          }};
    const Result<std::vector<GivenSerial>> given = options.serials->Give(claims, !options.dryRun, wait);
    if (!given) return given.failure();
    for (std::size_t i = 0; i < claimants.size(); ++i) serials[claimants[i]] = (*given)[i];
    return serials;
}

void SettleSerial(KeypadRun& run, const StationOptions& options, const GivenSerial& given) {
    if (!given.fresh || options.dryRun) return;
    const KeypadResult result = run.report().result;
    SerialLedger& ledger = *options.serials;
    const std::string record = ledger.RecordPath();
    const LedgerWait wait{options.stop, [&run, &record](const std::string& holder) {
                              run.TellWait("waits for the lock of " + record + ", held by " + holder);
                          }};
    if (result == KeypadResult::Updated || result == KeypadResult::UpToDate) {
        run.AddProblem(ledger.Settle(given.serial, SerialState::Taken, RecordedName(run), wait));
    } else if (result == KeypadResult::UnchangedAfterFailure) {
        run.AddProblem(ledger.Settle(given.serial, SerialState::Returned, RecordedName(run), wait));
    } else {
        run.report().message += "; serial " + EscapeControl(given.serial) + " stays recorded as taking in " + EscapeControl(ledger.RecordPath()) +
                                " (its outcome is unknown: velnor serials " + EscapeControl(ledger.ListPath()) +
                                " --resolve settles it when an attached keypad holds it)";
    }
}

// A keypad whose status was read, restored to the file (with its serial, when given).
KeypadReport RestoreRead(KeypadRun& run, const RestoreSource& source, const StationOptions& options,
                         const std::optional<GivenSerial>& serial) {
    DEVICE_INFO file = source.content.record;
    if (serial) file.SerialNumber = serial->serial;
    const Target target = TargetOfBackup(file);
    const Plan plan = PlanRestore(SettingsOfKeypad(*run.report().before), target, options.force);
    const std::string targetName = "the settings of " + EscapeControl(source.name) + (serial ? " with serial " + EscapeControl(serial->serial) : "");
    if (options.dryRun) {
        const std::size_t count = plan.changes.size();
        run.Plain(KeypadResult::Planned,
                  count == 0 && !options.force
                      ? "keypad " + run.Name() + " holds " + targetName + " already: a restore would write nothing"
                      : std::to_string(count) + (count == 1 ? " setting" : " settings") + " of keypad " + run.Name() +
                            (count == 1 ? " differs" : " differ") + " from " + targetName + "; nothing was sent but the status query",
                  plan.changes);
    } else if (plan.steps.empty()) {
        run.Plain(KeypadResult::UpToDate, "keypad " + run.Name() + " holds " + targetName + " already; nothing was written", {});
    } else {
        run.Carried(plan, target, targetName);
    }
    if (serial) SettleSerial(run, options, *serial);
    return run.Finish(source);
}

}  // namespace

Result<std::vector<KeypadReport>> RestoreKeypads(const std::vector<KEYPAD_ENTRY>& keypads, const RestoreSource& source,
                                                 const StationOptions& options) {
    // Every keypad's status first, then the serials for all, then the writing.
    Runs runs;
    for (std::size_t i = 0; i < keypads.size(); ++i) runs.push_back(std::make_unique<KeypadRun>(keypads[i], i, options));
    std::vector<char> read(keypads.size());
    InParallel(keypads.size(), [&](std::size_t i) { read[i] = runs[i]->OpenAndRead() ? 1 : 0; });
    std::vector<std::optional<GivenSerial>> serials(keypads.size());
    if (options.serials != nullptr) {
        Result<std::vector<std::optional<GivenSerial>>> given = GiveSerials(runs, read, keypads, options);
        if (!given) {
            // None is written: each keypad's report (and log line) says why.
            const Failure& failure = given.failure();
            const std::string told = failure.message + "; nothing was written";
            for (std::size_t i = 0; i < runs.size(); ++i) {
                if (read[i] != 0) runs[i]->Stop(failure.status == kInterrupted ? failure.message : told, failure.status);
                runs[i]->Finish(source);
            }
            return Failure{failure.status, told, failure.hint};
        }
        serials = std::move(*given);
    }
    std::vector<KeypadReport> reports(keypads.size());
    InParallel(keypads.size(), [&](std::size_t i) {
        reports[i] = read[i] != 0 ? RestoreRead(*runs[i], source, options, serials[i]) : runs[i]->Finish(source);
    });
    return reports;
}

std::string SharedSerialWarning(std::size_t keypads, const RestoreSource& source) {
    if (keypads < 2) return {};
    const std::string serial = TrimmedRight(source.content.record.SerialNumber);
    return std::to_string(keypads) + " keypads would all get " +
           (serial.empty() ? "the blank serial number" : "serial number " + EscapeControl(serial)) + " of " +
           EscapeControl(source.name) + "; restore --serials LIST gives each its own";
}

std::vector<KeypadReport> SetKeypads(const std::vector<KEYPAD_ENTRY>& keypads,
                                     const std::vector<Assignment>& assignments, const StationOptions& options) {
    return OnEach(keypads, [&](std::size_t i) {
        KeypadRun run(keypads[i], i, options);
        if (!run.OpenAndRead()) return run.Finish(std::nullopt);
        const auto target = TargetOfSet(*run.report().before, assignments);
        if (!target) {
            run.Stop(target.failure().message + " (keypad " + run.Name() + "); nothing was written", target.failure().status);
            return run.Finish(std::nullopt);
        }
        const Target& wanted = *target;
        const Plan plan = PlanSet(SettingsOfKeypad(*run.report().before), wanted, FieldsOf(assignments), options.force,
                                  options.flash);
        if (options.dryRun) {
            const std::size_t count = plan.changes.size();
            run.Plain(KeypadResult::Planned,
                      plan.steps.empty() ? "keypad " + run.Name() + " holds these values already: set would write nothing"
                                         : std::to_string(count) + (count == 1 ? " setting" : " settings") + " of keypad " + run.Name() +
                                               (count == 1 ? " differs" : " differ") + " from the values set; nothing was sent but the status query",
                      plan.changes);
        } else if (plan.steps.empty()) {
            run.Plain(KeypadResult::UpToDate, "keypad " + run.Name() + " holds these values already; nothing was written", {});
        } else {
            run.Carried(plan, wanted, "the values set");
        }
        return run.Finish(std::nullopt);
    });
}

std::vector<KeypadReport> ResetKeypads(const std::vector<KEYPAD_ENTRY>& keypads, const StationOptions& options) {
    return OnEach(keypads, [&](std::size_t i) {
        KeypadRun run(keypads[i], i, options);
        if (!run.OpenAndRead()) {
            run.report().result = KeypadResult::Failed;
            return run.Finish(std::nullopt);
        }
        run.Tell("restarting");
        const Done restarted = RestartKeypad(run.keypad(), options.restartTimeoutMs, options.stop);
        KeypadReport& report = run.report();
        report.result = restarted ? KeypadResult::Restarted : KeypadResult::Failed;
        report.status = restarted ? kDone : restarted.failure().status;
        report.message = restarted ? "keypad " + run.Name() + " restarted and is back" : restarted.failure().message;
        return run.Finish(std::nullopt);
    });
}

Done LogReport(const StationLog& log, const KeypadReport& report, const std::string& command,
               const std::string& version, const std::optional<RestoreSource>& file, const std::atomic<bool>* stop) {
    LogContext context{UtcTime(std::chrono::system_clock::now(), true), HostName(), version, command, {}, {}, log.Station()};
    if (file) {
        context.file = file->name;
        context.fileSha256 = Sha256Hex(file->content.bytes);
    }
    std::string line = Dump(LogJson(report, context));
    line.pop_back();  // the log ends each line itself
    return log.Append(line, stop);
}

ExitStatus WorstStatus(const std::vector<KeypadReport>& reports) {
    ExitStatus status = kDone;
    for (const KeypadReport& report : reports) status = std::max(status, report.status);
    return status;
}

}  // namespace velnorcli
