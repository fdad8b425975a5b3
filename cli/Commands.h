// The commands of velnor: what the command line asked for, turned into calls of cli/lib, their
// output and exit status.
#ifndef VELNOR_CLI_COMMANDS_H
#define VELNOR_CLI_COMMANDS_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "Signals.h"
#include "lib/Selection.h"

namespace velnorcli {

enum class Command { List, Status, Backup, Verify, Diff, Doctor, Restore, Set, Reset, Serials, Keys, Station };

struct Request {
    Command command = Command::List;
    bool json = false;
    bool force = false;
    Selector selector;
    std::vector<std::string> files;
    // The commands that write, and the station's options.
    bool dryRun = false;
    bool noFlash = false;
    bool quiet = false;
    double timeoutSeconds = 10;
    std::string serials;  // --serials LIST or URI
    std::vector<std::string> log;  // --log FILE or URI, each given
    std::string station;  // --station NAME ("": the host name)
    std::vector<std::string> assignments;  // set: FIELD=VALUE
    // serials LIST: --resolve, or --return SERIAL...; serials init URI --list LIST
    std::string list;
    bool resolve = false;
    std::vector<std::string> returned;
    // station: --ports, --once, --timeout (in milliseconds there), --no-feedback
    std::vector<std::string> ports;
    std::size_t once = 0;
    int timeoutMs = 10000;
    bool noFeedback = false;
};

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool colourErr = false;     // standard error is a terminal and NO_COLOR is not set
    bool errTerminal = false;   // standard error is a terminal: live progress there
    const StopOnSignals* signals = nullptr;  // the commands that write: SIGINT and SIGTERM stop them
    std::string command;        // the command's name, "" before one is known: where a refusal points for the usage
};

int RunCommand(const Request& request, Console& console);

// A failure as the command tells it: JSON on standard output, or on standard error a message and
// the hint, if any, on a line of its own. A usage failure is told on standard error also with
// JSON, in two lines: what was refused, and where the usage is. Its exit status.
int ReportFailure(const Request& request, Console& console, const Failure& failure,
                  const KEYPAD_ENTRY* keypad = nullptr);

}  // namespace velnorcli

#endif
