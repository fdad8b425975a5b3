// Writing a whole text to a file descriptor.
#ifndef VELNOR_CLI_WRITEALL_H
#define VELNOR_CLI_WRITEALL_H

#include <string_view>

namespace velnorcli {

// In as many writes as the file takes, or in one: a file appended to by others takes a line
// whole or it is a failure, so that no other append comes between its parts.
enum class Writes { Many, One };

// All of `text`, again after a signal interrupted a write. False when a write fails (errno says
// why) or takes nothing, and with Writes::One when it takes only part.
bool WriteAll(int fd, std::string_view text, Writes writes = Writes::Many);

}  // namespace velnorcli

#endif
