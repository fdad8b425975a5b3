// Figures of one PlixoApi object against the simulated keypad answering at once:
// latency of back-to-back settings operations, CPU time while idle, resident memory.
//   bench_operations [latency calls] [memory calls] [idle seconds]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

int Operation(PlixoApi& api, int i) {
    switch (i % 4) {
    case 0: return api.SetLedLevel(i & 0xFF, 3000);
    case 1: return api.SetBuzzer(i & 1, 3000);
    case 2: return api.SetBuzzerPeriod(i & 0x7F, 3000);
    default: return api.SetOption(i % 3, 3000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int latencyCalls = argc > 1 ? std::atoi(argv[1]) : 500;
    const int memoryCalls = argc > 2 ? std::atoi(argv[2]) : 3000;
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 10;

    const velnorsim::DeviceId keypad = velnorsim::AddDevice({});
    PlixoApi api;
    if (!api.InitialiseBrellUSBDevice(8263, 2495)) return 1;
    std::fflush(stdout);

    std::vector<double> latencies;
    int failures = 0;
    for (int i = 0; i < latencyCalls; ++i) {
        const auto start = Clock::now();
        failures += Operation(api, i) != 0;
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (i % 100 == 99) velnorsim::ClearOutputReports(keypad);  // the simulator's own record
    }
    const long residentAfterFirst = ResidentKiB();
    std::printf("\nsettings operation latency over %d calls: median %.1f ms, 99th percentile %.1f ms "
                "(floor: 50 ms report pause + up to 10 ms poll; targets 62 / 75 ms), %d failed\n",
                latencyCalls, Percentile(latencies, 0.5), Percentile(latencies, 0.99), failures);

    const double cpuBefore = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double cpuIdle = CpuSeconds() - cpuBefore;
    std::printf("idle connected object: %.3f s CPU in %d s = %.3f%% of one core (target: under 0.5%%)\n", cpuIdle,
                idleSeconds, 100.0 * cpuIdle / idleSeconds);

    for (int i = latencyCalls; i < memoryCalls; ++i) {
        failures += Operation(api, i) != 0;
        if (i % 100 == 99) velnorsim::ClearOutputReports(keypad);
    }
    const long residentAfterAll = ResidentKiB();
    std::printf("resident memory: %ld KiB after %d operations, %ld KiB after %d: growth %ld KiB "
                "(target: at most 64 KiB), %d failed\n",
                residentAfterFirst, latencyCalls, residentAfterAll, memoryCalls, residentAfterAll - residentAfterFirst,
                failures);
    return failures == 0 ? 0 : 1;
}
