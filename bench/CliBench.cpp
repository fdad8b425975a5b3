// Figures of velnor run as a process against simulated keypads that answer at once: the wall
// time of `velnor status --json` from process start to exit, beside VelnorUtility's shortest run
// that touches the keypad (key-count mode), and `velnor list` with 8 keypads.
//   bench_cli [runs]
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

// Wall seconds of one run, output thrown away; negative when it failed.
double Run(std::vector<std::string> words, const std::string& config) {
    const velnorbench::RunOutcome outcome = velnorbench::RunQuietly(std::move(words), velnorbench::SimulatedKeypads(config));
    return outcome.status == 0 ? outcome.milliseconds / 1000 : -1;
}

void Report(const char* what, std::vector<std::string> words, const std::string& config, int runs, const char* target) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = Run(words, config);
        if (seconds < 0) {
            std::printf("%-46s  FAILED\n", what);
            return;
        }
        times.push_back(seconds * 1000);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-46s  median %7.1f ms  min %7.1f ms  max %7.1f ms  (%d runs; target %s)\n", what,
                times[times.size() / 2], times.front(), times.back(), runs, target);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char folder[] = "/tmp/velnor-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string one = std::string(folder) + "/one.conf";
    const std::string eight = std::string(folder) + "/eight.conf";
    std::ofstream(one) << "device path=keypad-1 serial=U1 reset_absent_ms=0\nset firmware V7.01\nset serial 12345678\n";
    std::ofstream out(eight);
    for (int i = 1; i <= 8; ++i) out << "device path=keypad-" << i << " serial=U" << i << "\n";
    out.close();

    std::printf("Against the simulated keypad, which answers at once:\n");
    Report("velnor status --json", {VELNOR_PROGRAM, "status", "--json"}, one, runs, "<= 150 ms");
    Report("VelnorUtility -k 6 (key-count mode)", {VELNOR_UTILITY, "-k", "6"}, one, std::max(1, runs / 3), "-");
    Report("velnor list (8 keypads)", {VELNOR_PROGRAM, "list"}, eight, runs, "<= 100 ms");
    Report("velnor status --all --json (8 keypads)", {VELNOR_PROGRAM, "status", "--all", "--json"}, eight, runs, "-");
    std::remove(one.c_str());
    std::remove(eight.c_str());
    rmdir(folder);
    return 0;
}
