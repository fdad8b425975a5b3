// Opening a file named on the command line for reading. A regular file or a pipe (such as
// `-b <(cat backup.txt)`) is read; a folder, a device (/dev/zero, /dev/urandom, a terminal) or a
// socket is a file that cannot be opened, so that nothing endless or unreadable is read and a
// device is never even opened.
#ifndef VELNOR_UTILITY_INPUTFILE_H
#define VELNOR_UTILITY_INPUTFILE_H

#include <istream>
#include <memory>
#include <string>

namespace velnorutility {

// The open file, or nothing when it does not exist, may not be read or is not a regular file
// or a pipe.
std::unique_ptr<std::istream> OpenInputFile(const std::string& path);

}  // namespace velnorutility

#endif
