// Figures of VelnorUtility run as a process: a whole restore against the simulated keypad that
// answers at once, and compare mode on two generated files of many lines.
//   bench_utility [restore runs] [compare lines]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "QuietRun.h"


namespace {

void WriteLines(const std::string& path, long lines, const std::string& version) {
    const std::vector<std::string> block = {"Version No " + version, "Serial No 20261206", "Velnor has 6 keys",
                                            "Keycode values", "1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58",
                                            " 0  1e", " 1  1f", "Keypad Table 1", "Led Brightness 7", "Buzzer 1",
                                            "Buzzer Period 32"};
    std::ofstream out(path);
    for (long i = 0; i < lines; ++i) out << block[static_cast<std::size_t>(i) % block.size()] << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    const int restoreRuns = argc > 1 ? std::atoi(argv[1]) : 5;
    const long compareLines = argc > 2 ? std::atol(argv[2]) : 1000000;
    const std::string utility = VELNOR_UTILITY;
    const std::string folder = "/tmp/velnor-bench-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    const std::string config = folder + "/keypad.conf";
    std::ofstream(config) << "device path=keypad-1\nset firmware V6.10\nset serial 00000000\n";

    std::vector<double> restores;
    for (int i = 0; i < restoreRuns; ++i) {
        const velnorbench::RunOutcome outcome = velnorbench::RunQuietly(
            {utility, "-b", std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt"}, velnorbench::SimulatedKeypads(config));
        if (outcome.status != 0) std::printf("restore run %d ended with status %d\n", i, outcome.status);
        restores.push_back(outcome.milliseconds / 1000);
    }
    std::sort(restores.begin(), restores.end());
    std::printf("restore, %d runs: median %.3f s, fastest %.3f s, slowest %.3f s "
                "(floor of the design's pauses: 2 x 500 ms openings + 3000 ms after the reset + 10 x 50 ms "
                "reports = 4.5 s; target median at most 4.8 s)\n",
                restoreRuns, restores[restores.size() / 2], restores.front(), restores.back());

    for (long lines : {compareLines / 10, compareLines}) {
        const std::string first = folder + "/first.txt";
        const std::string second = folder + "/second.txt";
        WriteLines(first, lines, "V6.12");
        WriteLines(second, lines, "V7.03");
        const velnorbench::RunOutcome outcome = velnorbench::RunQuietly({utility, "-c", first, second}, {});
        std::printf("compare of two files of %ld lines: %.3f s, peak resident memory %ld KiB (target: under 1 s, "
                    "memory not growing with the files), exit status %d\n",
                    lines, outcome.milliseconds / 1000, outcome.peakKiB, outcome.status);
        std::remove(first.c_str());
        std::remove(second.c_str());
    }
    std::remove(config.c_str());
    rmdir(folder.c_str());
    return 0;
}
