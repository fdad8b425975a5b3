// The command line: flags -b FILE (restore), -c FILE FILE (compare), -k KEYS (key count) and
// -n SERIAL. A word is a flag when it starts with "-"; its second character says which.
#ifndef VELNOR_UTILITY_COMMANDLINE_H
#define VELNOR_UTILITY_COMMANDLINE_H

#include <ostream>
#include <string>

namespace velnorutility {

struct CommandLine {
    static constexpr std::size_t kKeyCountCapacity = 3;
    static constexpr std::size_t kSerialCapacity = 19;
    static constexpr std::size_t kFileNameCapacity = 99;

    std::string keyCount;
    std::string serial;
    bool serialGiven = false;
    std::string firstFile;
    std::string secondFile;
    bool restore = false;
    bool compare = false;
    // Set when the command line cannot be run: a flag without its words, a word longer than its
    // text can hold, or a serial number with a control byte. The scan stops there; the run
    // prints it and ends with status 1.
    std::string refusal;
};

// Scans every word (the program's name included), printing "flag not recognised" lines to out.
// Returns the count of -b, -c and -k flags (255 plus those after an unrecognised flag), with a
// count of exactly 2 returned as 0.
int ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::ostream& out);

}  // namespace velnorutility

#endif
