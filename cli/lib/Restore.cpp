#include "Restore.h"

#include <algorithm>
#include <chrono>

#include "Attached.h"
#include "Render.h"
#include "Selection.h"

namespace velnorcli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWaitSliceMs = 50;  // how often a wait that may be stopped looks at the stop flag

// How a wait, or a step that waits, ended: done, a library code (PlixoApi::RETURN_CODES), or
// stopped by the stop flag.
struct Waited {
    int code = 0;
    bool stopped = false;
    bool Done() const { return code == 0 && !stopped; }
};

// A command that the library could not queue or write: it never reached the keypad.
bool NeverSent(int code) { return code == PlixoApi::WRITE_FAILED || code == PlixoApi::NOT_CONNECTED; }

// True when a keypad of this one's identity is attached now (also when the listing fails).
bool Listed(const KEYPAD_ENTRY& keypad) {
    const Result<std::vector<KEYPAD_ENTRY>> listed = ListAttached();
    return !listed || std::any_of(listed->begin(), listed->end(), [&keypad](const KEYPAD_ENTRY& entry) {
               return KeypadIdentityName(entry) == KeypadIdentityName(keypad);
           });
}

// Waits with `wait` (WaitLeft or WaitBack) within the time-out: done, -3, or stopped when the
// stop flag was set meanwhile (looked at every slice, only when `stop` is given).
Waited WaitFor(Keypad& keypad, int (Keypad::*wait)(int), int timeoutMs, const std::atomic<bool>* stop) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 1));
    for (;;) {
        const long long remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0) return {PlixoApi::TIMEOUT};
        const long long slice = stop != nullptr ? std::min<long long>(remaining, kWaitSliceMs) : remaining;
        if ((keypad.*wait)(static_cast<int>(std::max<long long>(slice, 1))) == 0) return {};
        if (stop != nullptr && stop->load()) return {0, true};
    }
}

// Waits for the keypad to leave, then to come back, each within the time-out: done, -3, or
// stopped. `stopWhileAway` only: a keypad that has left starts from its flash whenever it comes
// back, so that wait may end early; whether one that has not left yet restarts is not known.
Waited AwaitRestart(Keypad& keypad, int timeoutMs, const std::atomic<bool>* stop, const std::atomic<bool>* stopWhileAway,
                 bool& left) {
    left = false;
    if (const Waited waited = WaitFor(keypad, &Keypad::WaitLeft, timeoutMs, stop); !waited.Done()) return waited;
    left = true;
    return WaitFor(keypad, &Keypad::WaitBack, timeoutMs, stop != nullptr ? stop : stopWhileAway);
}

// Done once a reset reached the keypad and it answered, or left before it answered (a keypad
// restarts before it answers; one unplugged meanwhile starts afresh from its flash all the same).
// A reset that was not written (it never reached the keypad), refused or unanswered is sent
// once more when the keypad is there (stopped: the stop flag ended that wait). When that one
// fails too, the keypad has restarted only if it left after a reset that was written (a refused
// first one may have been carried out, and the second then finds the keypad gone).
Waited SendReset(Keypad& keypad, int timeoutMs, const std::atomic<bool>* stop) {
    const int code = keypad.Reset();
    if (code == 0 || code == PlixoApi::CONNECTION_LOST) return {};
    if (!keypad.Connected()) {
        if (const Waited waited = WaitFor(keypad, &Keypad::WaitBack, timeoutMs, stop); !waited.Done()) {
            return waited.stopped ? waited : Waited{code};
        }
    }
    const int again = keypad.Reset();
    if (again == 0 || again == PlixoApi::CONNECTION_LOST || keypad.WaitLeft(1) == 0) return {};
    return {again};
}

std::string SecondsText(int ms) {
    const int tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

std::string RestartProblem(const Keypad& keypad, int code, bool left, int timeoutMs) {
    const std::string name = "keypad " + KeypadName(keypad.Entry());
    if (code == PlixoApi::TIMEOUT && !left) return name + " did not restart within " + SecondsText(timeoutMs);
    if (code == PlixoApi::TIMEOUT) return name + " did not come back within " + SecondsText(timeoutMs) + " after its restart";
    return FailureOf(code, keypad.Entry(), "waiting for the restart").message;
}

// "led_level 5 (wanted 7), serial "1" (wanted "2")"
std::string DifferencesText(const std::vector<Difference>& differences) {
    std::string text;
    for (const Difference& d : differences) {
        text += (text.empty() ? "" : ", ") + std::string(ShownFieldName(d.field)) + " " + ShownValue(d.field, d.left) +
                " (wanted " + ShownValue(d.field, d.right) + ")";
    }
    return text;
}

class Runner {
public:
    Runner(Keypad& keypad, const Target& target, const Settings& before, const CarryOptions& options)
        : keypad_(keypad), target_(target), before_(before), options_(options) {}

    Outcome Run(const Plan& plan) {
        for (const Step& step : plan.steps) {
            if (Stopped()) {
                return flashed_ ? InterruptedAfterFlash("before " + StepName(step) + " of ") : BeforeFlash(Interruption(step));
            }
            Tell(StepName(step));
            if (std::optional<Outcome> ended = Do(step)) return *ended;
        }
        if (!flashed_) {
            return Ending(KeypadResult::Updated, kDone,
                          Name() + " holds " + options_.targetName + " in RAM (not stored in flash: they last until it restarts)");
        }
        return Ending(KeypadResult::Updated, kDone, Name() + " holds " + options_.targetName + ", stored in flash");
    }

private:
    // Nothing when the plan goes on; the outcome when it ends here.
    std::optional<Outcome> Do(const Step& step) {
        switch (step.kind) {
        case StepKind::Write: {
            written_.push_back(step.field);
            const int code = keypad_.Write(step.field, target_);
            if (code != 0) return BeforeFlash(FailureOf(code, keypad_.Entry(), StepName(step)));
            return std::nullopt;
        }
        case StepKind::CheckRam: {
            DEVICE_INFO now;
            const int code = keypad_.Status(now);
            if (code != 0) return BeforeFlash(FailureOf(code, keypad_.Entry(), StepName(step)));
            after_ = now;
            differences_ = Compare(SettingsOfKeypad(now), target_.settings);
            if (!differences_.empty()) {
                return BeforeFlash({kDifferent, Name() + " holds other values in RAM after the writes: " +
                                                    DifferencesText(differences_)});
            }
            return std::nullopt;
        }
        case StepKind::Flash: {
            const int code = keypad_.Flash();
            // A command that could not be written never reached the keypad; one refused or
            // unanswered may have been carried out.
            flashed_ = !NeverSent(code);
            if (!flashed_) return BeforeFlash(FailureOf(code, keypad_.Entry(), StepName(step)));
            if (code != 0) return AfterFlashFailure(FailureOf(code, keypad_.Entry(), StepName(step)));
            return std::nullopt;
        }
        case StepKind::Reset: {
            const Waited sent = SendReset(keypad_, options_.restartTimeoutMs, options_.stop);
            if (sent.stopped) return InterruptedAfterFlash("while waiting to restart ");
            if (!sent.Done()) return Unchecked(FailureOf(sent.code, keypad_.Entry(), StepName(step)).message);
            return std::nullopt;
        }
        case StepKind::Restart: {
            bool left = false;
            const Waited back = AwaitRestart(keypad_, options_.restartTimeoutMs, options_.stop, nullptr, left);
            if (back.stopped) return InterruptedAfterFlash("while waiting for the restart of ");
            if (!back.Done()) return Unchecked(RestartProblem(keypad_, back.code, left, options_.restartTimeoutMs));
            return std::nullopt;
        }
        case StepKind::ReadBack: {
            DEVICE_INFO now;
            const int code = keypad_.Status(now);
            if (code != 0) return Unchecked(FailureOf(code, keypad_.Entry(), StepName(step)).message);
            after_ = now;
            return Judge(SettingsOfKeypad(now), std::nullopt);
        }
        }
        return std::nullopt;
    }

    // A step before the flash command failed, or the run was stopped there: nothing went to
    // flash. The keypad is restarted so that its RAM holds its flash again; one that cannot be
    // restarted gets its old values written back, since a later status read would show the new
    // values in RAM as if they were stored, and a later flash command would store them.
    Outcome BeforeFlash(const Failure& failure) {
        if (written_.empty()) {
            return Ending(KeypadResult::UnchangedAfterFailure, failure.status, failure.message + "; nothing was written");
        }
        std::string message = failure.message + "; nothing was written to flash";
        Tell("restarting it back to its flash");
        const Restarted restarted = RestartAndRead(options_.stop, false);
        switch (restarted.how) {
        case Restarted::AndRead:
            if (SettingsOfKeypad(*after_) == before_) {
                message += " and the keypad was restarted: it holds what it held before";
            } else {
                // Another keypad in its port, or one that lost its settings: say what answers.
                message += ", so its flash holds what it held before; after a restart the keypad that answers holds " +
                           DifferencesText(Compare(SettingsOfKeypad(*after_), before_)) + " instead";
            }
            break;
        case Restarted::NotRead:
            message += " and the keypad was restarted, so it holds what it held before (" + restarted.problem + ")";
            break;
        case Restarted::Gone:
            message += ", so its flash holds what it held before; " + restarted.problem +
                       ": it starts from its flash when it is back";
            break;
        case Restarted::Not:
            Tell("writing its old values back");
            if (const std::optional<std::string> problem = WriteBack()) {
                return Ending(KeypadResult::Failed, failure.status,
                              message + ", so its flash holds what it held before; it could not be restarted (" +
                                  restarted.problem + ") and its old values could not be written back (" + *problem +
                                  "): its RAM may hold some of the new values, which a later flash command would "
                                  "store; power-cycle it (unplug it and plug it in again)");
            }
            message += ", so its flash holds what it held before; it could not be restarted (" + restarted.problem +
                       "), so its old values were written back to its RAM and checked";
            break;
        }
        return Ending(KeypadResult::UnchangedAfterFailure, restarted.stopped ? kInterrupted : failure.status, message);
    }

    // Writes the values written so far back to what the keypad held before, and checks them by a
    // status read: nothing, or what failed.
    std::optional<std::string> WriteBack() {
        // A write that failed loses the connection until the keypad is found again.
        if (!keypad_.Connected() && !WaitFor(keypad_, &Keypad::WaitBack, options_.restartTimeoutMs, nullptr).Done()) {
            return Name() + " is gone (not back within " + SecondsText(options_.restartTimeoutMs) + ")";
        }
        // The keypad that answers must show, field by field, what it held before or what this
        // run wrote: else it is another keypad (one plugged into the same port), whose RAM is
        // not ours to write.
        DEVICE_INFO seen;
        if (const int code = keypad_.Status(seen); code != 0) {
            return FailureOf(code, keypad_.Entry(), "reading it before writing its old values back").message;
        }
        const Settings shown = SettingsOfKeypad(seen);
        std::vector<Field> changed;
        for (const Field field : kWriteOrder) {
            const Value value = ValueOf(shown, field);
            if (value == ValueOf(before_, field)) continue;
            const bool ours = std::find(written_.begin(), written_.end(), field) != written_.end() &&
                              value == ValueOf(target_.settings, field);
            if (!ours) return "the keypad that answers holds other settings (" + DifferencesText(Compare(shown, before_)) + ")";
            // A status shows only the first characters of a serial: a longer one cannot be put back.
            if (field == Field::Serial && before_.serial.size() >= kSerialShown) {
                return "its old serial number may be longer than a status shows";
            }
            changed.push_back(field);
        }
        const Target old{before_, before_.serial};
        for (const Field field : changed) {
            if (const int code = keypad_.Write(field, old); code != 0) {
                return FailureOf(code, keypad_.Entry(), "writing " + std::string(FieldName(field)) + " back").message;
            }
        }
        DEVICE_INFO now;
        if (const int code = keypad_.Status(now); code != 0) {
            return FailureOf(code, keypad_.Entry(), "checking the old values").message;
        }
        after_ = now;
        if (SettingsOfKeypad(now) != before_) {
            return "it shows other values: " + DifferencesText(Compare(SettingsOfKeypad(now), before_));
        }
        return std::nullopt;
    }

    // The flash command reached the keypad, refused or unanswered: what its flash holds shows
    // after a restart.
    Outcome AfterFlashFailure(const Failure& failure) {
        Tell("restarting it to read what its flash holds");
        const Restarted restarted = RestartAndRead(options_.stop, true);
        if (restarted.stopped) return InterruptedAfterFlash("while waiting for the restart of ");
        if (restarted.how != Restarted::AndRead) {
            return Ending(KeypadResult::Failed, failure.status,
                          failure.message + "; it could not be restarted and read (" + restarted.problem +
                              "): whether its flash holds its old settings or " + options_.targetName + " is not known");
        }
        return Judge(SettingsOfKeypad(*after_), failure);
    }

    // A status read after the restart that followed the flash command. Whatever answers there
    // may be another keypad plugged in meanwhile, and fresh keypads look alike: only the target
    // proves the write (the target serial from a list is held by no other keypad). Any other
    // settings, the old ones included, prove nothing about the flash written.
    Outcome Judge(const Settings& now, const std::optional<Failure>& failure) {
        const std::string prefix = failure ? failure.value().message + "; after a restart " : "";
        differences_ = Compare(now, target_.settings);
        if (differences_.empty()) {
            return Ending(KeypadResult::Updated, kDone,
                          failure ? prefix + "it holds " + options_.targetName
                                  : Name() + " holds " + options_.targetName + ", checked after its restart");
        }
        const std::string holds = now == before_ ? "what it held before"
                                                 : "neither what it held before nor " + options_.targetName + ": " +
                                                       DifferencesText(differences_);
        return Ending(KeypadResult::Failed, failure ? failure->status : kDifferent,
                      (failure ? prefix + "the keypad that answers" : Name() + " answered every step, but after its "
                                                                      "restart the keypad that answers") +
                          " holds " + holds +
                          "; since its flash command was written, whether the keypad written holds its old settings "
                          "or " + options_.targetName + " is not known");
    }

    // The flash command was answered, but what it stored cannot be checked.
    Outcome Unchecked(const std::string& why) {
        return Ending(KeypadResult::Failed, kNoAnswer,
                      why + ": its flash was written; the result could not be checked (velnor verify checks it "
                            "once the keypad is back)");
    }

    // `when`: "before reading back of ", "while waiting for the restart of "
    Outcome InterruptedAfterFlash(const std::string& when) {
        return Ending(KeypadResult::Failed, kInterrupted,
                      "interrupted " + when + Name() + ": its flash was written; the result was not checked (velnor verify checks it)");
    }

    Failure Interruption(const Step& step) const {
        return {kInterrupted, "interrupted before " + StepName(step) + " of " + Name()};
    }

    struct Restarted {
        enum How { AndRead, NotRead, Gone, Not } how;
        std::string problem;
        bool stopped = false;  // a signal ended the wait for a keypad that was away
    };

    // Restarts the keypad (waiting first for it to be there) and reads it into after_. `stop` ends
    // the waits for a keypad that is away, and with `anyWait` every wait: after the flash command
    // nothing is known until the read anyway.
    Restarted RestartAndRead(const std::atomic<bool>* stop, bool anyWait) {
        const std::atomic<bool>* always = anyWait ? stop : nullptr;
        const int timeout = options_.restartTimeoutMs;
        if (!keypad_.Connected()) {
            // Unplugged, not only its connection lost: it is no longer listed.
            const bool unplugged = !Listed(keypad_.Entry());
            const Waited back = WaitFor(keypad_, &Keypad::WaitBack, timeout, stop);
            if (back.stopped) return {Restarted::Gone, "interrupted while " + Name() + " was away", true};
            if (!back.Done()) return {Restarted::Gone, Name() + " is gone (not back within " + SecondsText(timeout) + ")"};
            cameBack_ = unplugged;
        }
        if (const Waited sent = SendReset(keypad_, timeout, always); !sent.Done()) {
            if (sent.stopped) return {Restarted::Not, "interrupted while " + Name() + " was away", true};
            return {Restarted::Not, FailureOf(sent.code, keypad_.Entry(), "restarting").message};
        }
        bool left = false;
        if (const Waited back = AwaitRestart(keypad_, timeout, always, stop, left); !back.Done()) {
            if (back.stopped) return {left ? Restarted::Gone : Restarted::Not, "interrupted while " + Name() + " was restarting", true};
            return {left ? Restarted::Gone : Restarted::Not, RestartProblem(keypad_, back.code, left, timeout)};
        }
        DEVICE_INFO now;
        if (const int code = keypad_.Status(now); code != 0) {
            return {Restarted::NotRead, FailureOf(code, keypad_.Entry(), "reading it after the restart").message};
        }
        after_ = now;
        return {Restarted::AndRead, {}};
    }

    Outcome Ending(KeypadResult result, ExitStatus status, std::string message) {
        return Outcome{result, status, std::move(message), after_, differences_, cameBack_};
    }

    bool Stopped() const { return options_.stop != nullptr && options_.stop->load(); }
    void Tell(const std::string& step) const {
        if (options_.progress) options_.progress(step);
    }
    std::string Name() const { return "keypad " + KeypadName(keypad_.Entry()); }

    Keypad& keypad_;
    const Target& target_;
    const Settings& before_;
    const CarryOptions& options_;
    std::vector<Field> written_;  // the settings sent
    bool flashed_ = false;        // the flash command reached the keypad
    std::optional<DEVICE_INFO> after_;
    std::vector<Difference> differences_;
    bool cameBack_ = false;  // waited for it to be plugged in again
};

}  // namespace

Outcome Carry(Keypad& keypad, const Plan& plan, const Target& target, const Settings& before,
              const CarryOptions& options) {
    return Runner(keypad, target, before, options).Run(plan);
}

Done RestartKeypad(Keypad& keypad, int timeoutMs, const std::atomic<bool>* stop) {
    const std::string name = "keypad " + KeypadName(keypad.Entry());
    if (stop != nullptr && stop->load()) return Failure{kInterrupted, "interrupted before " + name + " was restarted"};
    const Waited sent = SendReset(keypad, timeoutMs, stop);
    if (sent.stopped) return Failure{kInterrupted, "interrupted while waiting to restart " + name};
    if (!sent.Done()) return FailureOf(sent.code, keypad.Entry(), "restarting");
    bool left = false;
    const Waited back = AwaitRestart(keypad, timeoutMs, stop, nullptr, left);
    if (back.stopped) return Failure{kInterrupted, "interrupted while waiting for the restart of " + name};
    if (!back.Done()) return Failure{kNoAnswer, RestartProblem(keypad, back.code, left, timeoutMs)};
    return {};
}

}  // namespace velnorcli
