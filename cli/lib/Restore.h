// Carrying a plan out on one keypad, step by step, so that whatever fails and wherever, the
// keypad's flash afterwards holds exactly what it held before or exactly the target, and the
// outcome says which:
//  - a write or the RAM check fails (or the run is stopped) before the flash command has reached
//    the keypad: nothing goes to flash, and the keypad is restarted so that it returns to what
//    its flash holds (else a later run would read the new values in RAM as already there, and
//    a later flash command would store them); one that cannot be restarted gets its old values
//    written back, and when that fails too, what its RAM holds is not known;
//  - once the flash command has reached it (answered, refused or not), only a status read after
//    the restart can tell, and only the target proves anything: the keypad that answers then
//    may be another one plugged into the same port, so any other settings leave the written
//    keypad's flash unknown;
//  - success only when a status read shows the target (for a restore: after the restart).
#ifndef VELNOR_CLI_RESTORE_H
#define VELNOR_CLI_RESTORE_H

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Keypad.h"
#include "Reports.h"
#include "RestorePlan.h"

namespace velnorcli {

struct Outcome {
    KeypadResult result = KeypadResult::Failed;
    ExitStatus status = kDone;
    std::string message;
    std::optional<DEVICE_INFO> after;     // the last status read after the first write
    std::vector<Difference> differences;  // keypad against target, when a read showed others
    bool cameBack = false;                // it was away (unplugged) when due to restart, and came back
};

struct CarryOptions {
    std::string targetName = "the new settings";  // "the settings of keypad.txt"
    int restartTimeoutMs = 10000;                  // bounds each wait for the keypad to leave and come back
    const std::atomic<bool>* stop = nullptr;       // when set: stop after the current step
    std::function<void(const std::string&)> progress;  // told each step as it starts
};

// `keypad` is open; `before` is what its status showed when the plan was made.
Outcome Carry(Keypad& keypad, const Plan& plan, const Target& target, const Settings& before,
              const CarryOptions& options);

// Restarts the keypad (opened) and waits until it is back, unless `stop` is set before or while
// it waits: nothing, or a failure to tell.
Done RestartKeypad(Keypad& keypad, int timeoutMs, const std::atomic<bool>* stop = nullptr);

}  // namespace velnorcli

#endif
