// velnor's exit statuses, and the one result that every failing step hands upwards: the status
// it means and a message for the user. With --all the largest status of all keypads counts.
#ifndef VELNOR_CLI_EXITSTATUS_H
#define VELNOR_CLI_EXITSTATUS_H

#include <string>
#include <utility>

namespace velnorcli {

enum ExitStatus : int {
    kDone = 0,           // done; verify and diff: no difference
    kDifferent = 1,      // a difference was found, or a backup could not carry everything
    kUsage = 2,          // the command line was refused
    kNoKeypad = 3,       // no keypad attached, or none matches the selection
    kSeveralKeypads = 4, // several keypads match and the command needs one
    kPermission = 5,     // the keypad's device node cannot be opened
    kNoAnswer = 6,       // the keypad did not answer, or the connection was lost
    kFileProblem = 7,    // a file could not be read or written, or a backup file was refused
    kInterrupted = 130,  // SIGINT, SIGTERM or SIGHUP stopped a command that writes, after its current step
};

struct Failure {
    Failure() = default;
    Failure(ExitStatus kind, std::string text, std::string next = {})
        : status(kind), message(std::move(text)), hint(std::move(next)) {}

    ExitStatus status = kDone;  // the kind of failure, and the exit status it stands for
    std::string message;
    std::string hint;  // the next step for the user, when there is one ("" when none)
};

// The message and the next step in one text, where only one is kept (a keypad's line of a
// report, a log line).
inline std::string WithHint(const Failure& failure) {
    return failure.hint.empty() ? failure.message : failure.message + "; " + failure.hint;
}

}  // namespace velnorcli

#endif
