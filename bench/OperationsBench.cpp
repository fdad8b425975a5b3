// Figures of one PlixoApi object against the simulated keypad answering at once:
// latency of back-to-back settings operations, CPU time while idle, resident memory; and how
// long the library's own waits take (time-out, reopening, refusal, destructor), which the tests
// do not bound from above.
//   bench_operations [latency calls] [memory calls] [idle seconds] [timing rounds]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
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

double MillisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void PrintTimes(const char* what, const std::vector<double>& times, const char* target) {
    std::printf("%s: median %.1f ms, slowest %.1f ms over %zu rounds (%s)\n", what, Percentile(times, 0.5),
                Percentile(times, 1.0), times.size(), target);
}

void Waits(int rounds) {
    std::vector<double> timeout, reopen, refusal, connectedEnd, searchingEnd;
    for (int i = 0; i < rounds; ++i) {
        velnorsim::RemoveAllDevices();
        const velnorsim::DeviceId keypad = velnorsim::AddDevice({});
        auto api = std::make_unique<PlixoApi>();
        api->InitialiseBrellUSBDevice(8263, 2495);
        velnorsim::SetFault(keypad, 15, {velnorsim::FaultKind::NoReply, 0, 1});
        int jack = 0;
        timeout.push_back(MillisecondsOf([&] { api->GetJackStatus(&jack, 120); }));
        connectedEnd.push_back(MillisecondsOf([&] { api.reset(); }));

        velnorsim::Detach(keypad);
        api = std::make_unique<PlixoApi>();
        api->InitialiseBrellUSBDevice(8263, 2495);
        refusal.push_back(MillisecondsOf([&] { api->SetLedLevel(1, 0); }));
        reopen.push_back(MillisecondsOf([&] {
            velnorsim::Attach(keypad);
            while (api->RetrieveByteFromBuffer() != -1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }));
        velnorsim::Detach(keypad);
        api->SetLedLevel(1, 50);  // the failed write makes the worker let the keypad go
        while (api->RetrieveByteFromBuffer() != -2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        searchingEnd.push_back(MillisecondsOf([&] { api.reset(); }));
    }
    PrintTimes("time-out of 120 ms without a reply", timeout, "12 polls of 10 ms; target under 270 ms");
    PrintTimes("operation refused while not connected", refusal, "target: at once, under 100 ms");
    PrintTimes("keypad plugged in until the worker has opened it", reopen, "a cycle is about 100 ms; target under 1000 ms");
    PrintTimes("destructor of a connected object", connectedEnd, "ends the read within its 50 ms slice; target under 600 ms");
    PrintTimes("destructor of an object looking for its keypad", searchingEnd, "target under 1000 ms");
}

}  // namespace

int main(int argc, char** argv) {
    const int latencyCalls = argc > 1 ? std::atoi(argv[1]) : 500;
    const int memoryCalls = argc > 2 ? std::atoi(argv[2]) : 3000;
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 10;
    const int timingRounds = argc > 4 ? std::atoi(argv[4]) : 10;

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
    Waits(timingRounds);
    return failures == 0 ? 0 : 1;
}
