// The station's figures, in this process against simulated keypads (run with the simulated
// hidapi: LD_LIBRARY_PATH=build/sim-hidapi build/bench/bench_station [idle seconds] [cycles]):
// 16 keypads plugged in at once against one, the idle station's CPU, a long run of plug cycles
// with keypads pulled out mid-restore, and keypads per hour on 8 ports with where the time goes.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "StationSoak.h"
#include "station/StationRun.h"
#include "velnor_sim/SimControl.h"

namespace {

using namespace velnorbench;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void Row(const char* what, const std::string& figure, const char* target) {
    std::printf("| %-52s | %-44s | %-30s |\n", what, figure.c_str(), target);
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// The median over three runs of the time from the start to the last keypad's restore ended.
double AllVerifiedMs(int keypads) {
    std::vector<double> runs;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        runs.push_back(RunSoak({.ports = keypads, .keypads = keypads, .resetAbsentMs = 1000, .unplugPercent = 0, .seed = seed}).allVerifiedMs);
    }
    std::sort(runs.begin(), runs.end());
    return runs[1];
}

// The station with no keypad for `seconds`: the share of one core it uses.
double IdlePercent(int seconds) {
    velnorsim::RemoveAllDevices();
    std::atomic<bool> stop{false};
    const std::unique_ptr<velnorcli::KeypadWatch> watch = velnorcli::LookEvery500Ms();
    velnorcli::StationRunOptions options;
    options.watch = watch.get();
    options.stop = &stop;
    std::thread timer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        stop = true;
    });
    const double cpu = CpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    velnorcli::RunStationLoop({}, options);
    const double used = CpuSeconds() - cpu;
    timer.join();
    return 100 * used / std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int cycles = argc > 2 ? std::max(10, std::atoi(argv[2])) : 1000;
    std::printf("| %-52s | %-44s | %-30s |\n|%s|%s|%s|\n", "measure", "figure", "target", std::string(54, '-').c_str(),
                std::string(46, '-').c_str(), std::string(32, '-').c_str());

    const double one = AllVerifiedMs(1);
    const double sixteen = AllVerifiedMs(16);
    Row("16 keypads plugged in at once -> all verified", Format("%.0f ms, one keypad %.0f ms: %.2f x", sixteen, one, sixteen / one),
        "<= 1.3 x one keypad's restore");

    Row(("idle station, no keypad, " + std::to_string(idleSeconds) + " s").c_str(), Format("%.3f %% of one core", IdlePercent(idleSeconds)),
        "<= 0.1% of one core");

    const SoakOutcome soak = RunSoak({.ports = 8, .keypads = cycles, .resetAbsentMs = 50, .unplugPercent = 30, .seed = 1000});
    Row((std::to_string(cycles) + " plug cycles, 8 ports, 30% pulled out mid-restore").c_str(),
        Format("%.0f ended: %.0f updated, %.0f unchanged", soak.ended, soak.updated, soak.unchanged) +
            Format(", %.0f unknown in %.0f s", soak.unknown, soak.seconds),
        "");
    Row("  serials given twice / outcomes not as recorded", Format("%.0f / %.0f (never reported %.0f)", soak.givenTwice, soak.recordWrong, soak.notReported),
        "0 / 0");
    Row("  RSS growth over the run (within the run)",
        Format("%+.0f KiB (%+.0f KiB from a tenth to the end)", soak.rssAfterKiB - soak.rssBeforeKiB, soak.rssLateKiB - soak.rssEarlyKiB),
        "<= 1 MiB");
    Row("  threads, descriptors: before -> after", Format("%.0f -> %.0f, ", soak.threadsBefore, soak.threadsAfter) +
        Format("%.0f -> %.0f", soak.fdsBefore, soak.fdsAfter), "back to baseline");
    if (!soak.problems.empty()) std::printf("problems:\n%s", soak.problems.c_str());

    const SoakOutcome line = RunSoak({.ports = 8, .keypads = 48, .resetAbsentMs = 1000, .unplugPercent = 0, .seed = 8, .feedback = true});
    Row("keypads per hour, 8 ports, 1000 ms restart, feedback", Format("%.0f (%.0f keypads in %.1f s)", line.ended * 3600 / line.seconds, line.ended, line.seconds),
        "report it");
    const CycleTimes& t = line.times;
    const double n = static_cast<double>(std::max<std::size_t>(1, t.keypads));
    const double total = (t.idle + t.read + t.write + t.restart + t.verify + t.feedback) / n;
    const std::pair<const char*, double> parts[] = {{"idle between plugs (the look for keypads)", t.idle}, {"read (open, status, serial taken)", t.read},
                                                    {"write (settings, flash)", t.write}, {"restart wait", t.restart},
                                                    {"verify (status, serial recorded)", t.verify}, {"feedback (blinking)", t.feedback}};
    for (const auto& [part, ms] : parts) {
        Row((std::string("  ") + part).c_str(), Format("%.0f ms a keypad (%.0f %%)", ms / n, 100 * ms / n / total), "");
    }
    std::printf("(the figures are from a shared machine: other work running beside them slows them down)\n");
}
