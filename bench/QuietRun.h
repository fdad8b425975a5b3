// Runs a program as a process with its output thrown away, for the benchmarks that time whole
// programs: its wall time, its exit status and its peak resident memory.
#ifndef VELNOR_BENCH_QUIETRUN_H
#define VELNOR_BENCH_QUIETRUN_H

#include <string>
#include <vector>

namespace velnorbench {

struct RunOutcome {
    double milliseconds = 0;
    int status = -1;  // the exit status; -1 when it could not start or was killed
    long peakKiB = 0;
};

// `extraEnvironment` ("NAME=value") is added to this process's own.
RunOutcome RunQuietly(std::vector<std::string> words, const std::vector<std::string>& extraEnvironment);

// The environment that runs a program against the simulated keypads set up by `config`.
std::vector<std::string> SimulatedKeypads(const std::string& config);

}  // namespace velnorbench

#endif
