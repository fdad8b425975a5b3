// The commands of velnor: what the command line asked for, turned into calls of cli/lib, their
// output and exit status.
#ifndef VELNOR_CLI_COMMANDS_H
#define VELNOR_CLI_COMMANDS_H

#include <ostream>
#include <string>
#include <vector>

#include "lib/Selection.h"

namespace velnorcli {

enum class Command { List, Status, Backup, Verify, Diff, Doctor };

struct Request {
    Command command = Command::List;
    bool json = false;
    bool force = false;
    Selector selector;
    std::vector<std::string> files;
};

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool colourErr = false;  // standard error is a terminal and NO_COLOR is not set
};

int RunCommand(const Request& request, Console& console);

}  // namespace velnorcli

#endif
