// Writing a file so that readers see the old file or the whole new one, never a part: a
// temporary file in the same folder, flushed, then renamed over the name (or linked to it, when
// an existing file must not be replaced).
#ifndef VELNOR_CLI_ATOMICFILE_H
#define VELNOR_CLI_ATOMICFILE_H

#include <optional>
#include <string>

#include "Result.h"

namespace velnorcli {

// Status 7 when RefuseExisting refuses the name (the file untouched), or when writing fails.
Done WriteFileAtomically(const std::string& path, const std::string& content, bool replace);

// Status 7 when the file exists and `replace` is false, or when it is something other than a
// regular file (a device, folder, FIFO or socket, also through a symbolic link), which even
// `replace` does not rename over. Checked early, before a keypad is involved.
Done RefuseExisting(const std::string& path, bool replace);

}  // namespace velnorcli

#endif
