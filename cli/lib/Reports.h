// What each command found, as plain data: the shell turns it into JSON or text (Json, Render),
// the log into a line. No words here but the messages the steps wrote.
#ifndef VELNOR_CLI_REPORTS_H
#define VELNOR_CLI_REPORTS_H

#include <optional>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"
#include "RestorePlan.h"
#include "Settings.h"

namespace velnorcli {

// What became of one keypad, as --json names it. restore, set: the first five; reset: Restarted
// or Failed; verify: Equal, Different or Failed; status: Read or Failed.
enum class KeypadResult {
    UpToDate,               // it held the target already; nothing was written
    Updated,                // it holds the target (a status read showed it)
    Planned,                // a dry run: nothing was written
    UnchangedAfterFailure,  // its flash holds what it held before (and its RAM, once it is restarted)
    Failed,                 // what its flash holds is not known (the message says what is); or a
                            // command that only reads could not read it
    Restarted,              // reset: it restarted and is back
    Equal,                  // verify: it holds what the file would leave it holding
    Different,              // verify: it holds other settings
    Read,                   // status: its status was read
};

// What became of one keypad: a line of the final report, an entry of --json, a line of the log.
struct KeypadReport {
    KEYPAD_ENTRY keypad;  // as it is attached at the end (its path changes when it restarts)
    KeypadResult result = KeypadResult::Failed;
    ExitStatus status = kDone;
    std::string message;
    std::vector<Difference> changes;      // planned or written (before, after)
    std::vector<Difference> differences;  // keypad against target, when a read showed others
    std::optional<DEVICE_INFO> before;    // the status read first
    std::optional<DEVICE_INFO> after;     // the last status read after writing
    long long durationMs = 0;
    bool cameBack = false;  // unplugged during its restore and plugged in again before its end
};

// status: one keypad's status, or why it could not be read.
struct StatusReading {
    KEYPAD_ENTRY keypad;
    std::optional<DEVICE_INFO> status;  // none: `failure` says why
    Failure failure;
};

// verify: one keypad against the file.
struct VerifyOutcome {
    KEYPAD_ENTRY keypad;
    std::optional<std::vector<Difference>> differences;  // none: `failure` says why
    Failure failure;
};

}  // namespace velnorcli

#endif
