// Figures of VelnorUtility run as a process: a whole restore against the simulated keypad that
// answers at once, and compare mode on two generated files of many lines.
//   bench_utility [restore runs] [compare lines]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Outcome {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs the program with standard output thrown away.
Outcome Run(std::vector<std::string> words, const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", 0x1 /* O_WRONLY */, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    Outcome outcome;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) return outcome;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.peakKiB = usage.ru_maxrss;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

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
        const Outcome outcome = Run({utility, "-b", std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt"},
                                    {std::string("LD_LIBRARY_PATH=") + VELNOR_SIM_DIR, "VELNOR_SIM_CONFIG=" + config});
        if (outcome.status != 0) std::printf("restore run %d ended with status %d\n", i, outcome.status);
        restores.push_back(outcome.seconds);
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
        const Outcome outcome = Run({utility, "-c", first, second}, {});
        std::printf("compare of two files of %ld lines: %.3f s, peak resident memory %ld KiB (target: under 1 s, "
                    "memory not growing with the files), exit status %d\n",
                    lines, outcome.seconds, outcome.peakKiB, outcome.status);
        std::remove(first.c_str());
        std::remove(second.c_str());
    }
    std::remove(config.c_str());
    rmdir(folder.c_str());
    return 0;
}
