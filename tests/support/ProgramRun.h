// Runs a built program as a process against the simulated keypad and collects what it did:
// its standard output, exit status, the output reports the keypad received and its settings.
#ifndef VELNOR_TESTS_PROGRAMRUN_H
#define VELNOR_TESTS_PROGRAMRUN_H

#include <map>
#include <string>
#include <vector>

#include "Hex.h"

namespace velnortest {

struct ProgramResult {
    int exitStatus = -1;
    std::string output;
    std::vector<Bytes> reports;                // in the order the keypad received them
    std::map<std::string, std::string> state;  // "ram.led_level" -> "7", ...
    // When output arrived: milliseconds after the start, and the output's length by then.
    std::vector<std::pair<long, std::size_t>> arrivals;

    // The first arrival that completed text (arrivals.end() when it never came).
    std::vector<std::pair<long, std::size_t>>::const_iterator ArrivalOf(const std::string& text) const;
};

// A folder of its own for one run, with a keypad configuration written into it.
class ProgramRun {
public:
    // keypadConfig: statements of the simulator's configuration file (one device per "device").
    explicit ProgramRun(const std::string& keypadConfig);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // A file in the run's folder, for backup files made up by a test.
    std::string WriteFile(const std::string& name, const std::string& content) const;
    ProgramResult Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workingFolder) const;

private:
    std::string folder_;
};

// Golden output files show each \r and \n as an escape, and a line break after each \n for
// reading. {attempts} stands for any number of the worker's reconnect lines.
std::string ReadGolden(const std::string& path);
bool MatchesGolden(const std::string& output, const std::string& golden);

}  // namespace velnortest

#endif
