// Figures of keypads opened by selection, against simulated keypads that answer at once and
// restart 1000 ms after answering a reset: listing 8 keypads, opening one, how soon a waiting
// caller learns that a restarted keypad is back, and 8 objects side by side (idle CPU, and the
// latency of one operation on each while the others are busy, CPU once their keypads are gone).
//   bench_selection [rounds] [idle seconds]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Spread {
    double median;
    double worst;
};

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

KEYPAD_SELECTION ByLocation(int index) {
    KEYPAD_SELECTION selection;
    selection.By = SELECT_BY_LOCATION;
    selection.Value = "1-" + std::to_string(index + 1);
    return selection;
}

// Median latency of `calls` settings operations on one object.
std::vector<double> Latencies(PlixoApi& api, int calls) {
    std::vector<double> latencies;
    for (int i = 0; i < calls; ++i) {
        const Clock::time_point start = Clock::now();
        if (api.SetLedLevel(i & 0x7F, 3000) != 0) std::fprintf(stderr, "an operation failed\n");
        latencies.push_back(MillisecondsBetween(start, Clock::now()));
    }
    return latencies;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    std::vector<velnorsim::DeviceId> keypads;
    for (int i = 0; i < 8; ++i) {
        velnorsim::DeviceSetup setup;
        setup.location = ByLocation(i).Value;
        setup.resetAbsentMs = 1000;
        keypads.push_back(velnorsim::AddDevice(setup));
    }

    std::vector<double> listing;
    std::vector<double> opening;
    for (int round = 0; round < rounds; ++round) {
        std::vector<KEYPAD_ENTRY> found;
        Clock::time_point start = Clock::now();
        PlixoApi::ListKeypads(8263, 2495, &found);
        listing.push_back(MillisecondsBetween(start, Clock::now()));
        start = Clock::now();
        PlixoApi api(ByLocation(round % 8));
        const int opened = api.OpenKeypad(1000);
        opening.push_back(MillisecondsBetween(start, Clock::now()));
        if (found.size() != 8 || opened != 0) std::fprintf(stderr, "listing or opening failed\n");
    }
    Spread spread = SpreadOf(listing);
    std::printf("list 8 keypads:             median %7.2f ms, worst %7.2f ms (%d rounds; target at most 100 ms)\n",
                spread.median, spread.worst, rounds);
    spread = SpreadOf(opening);
    std::printf("open one by location:       median %7.2f ms, worst %7.2f ms\n", spread.median, spread.worst);

    // The keypad's reappearance is seen by a watcher polling the bus every millisecond.
    std::vector<double> backAfter;
    for (int round = 0; round < std::min(rounds, 10); ++round) {
        PlixoApi api(ByLocation(0));
        api.OpenKeypad(1000);
        api.ResetToFactoryDefault(3000);
        api.WaitUntilLeft(5000);
        Clock::time_point reappeared{};
        std::thread watcher([&] {
            while (!velnorsim::IsAttached(keypads[0])) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            reappeared = Clock::now();
        });
        api.WaitUntilConnected(5000);
        const Clock::time_point connected = Clock::now();
        watcher.join();
        backAfter.push_back(MillisecondsBetween(reappeared, connected));
    }
    spread = SpreadOf(backAfter);
    std::printf("back on the bus -> wait ends: median %5.1f ms, worst %5.1f ms (target at most 150 ms)\n",
                spread.median, spread.worst);

    std::vector<std::unique_ptr<PlixoApi>> objects;
    for (int i = 0; i < 8; ++i) {
        objects.push_back(std::make_unique<PlixoApi>(ByLocation(i)));
        objects.back()->OpenKeypad(1000);
    }
    // Per cent of a core that each of the 8 objects uses over the next `seconds`.
    const auto cpuEach = [](int seconds) {
        const double cpuBefore = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        return (CpuSeconds() - cpuBefore) / seconds / 8 * 100;
    };
    std::printf("8 objects idle:             %.3f%% of a core each over %d s (target below 0.5%%)\n", cpuEach(idleSeconds),
                idleSeconds);

    const int calls = 60;
    const Spread alone = SpreadOf(Latencies(*objects[0], calls));
    std::vector<std::vector<double>> each(8);
    std::vector<std::thread> busy;
    for (int i = 0; i < 8; ++i) busy.emplace_back([&, i] { each[static_cast<std::size_t>(i)] = Latencies(*objects[static_cast<std::size_t>(i)], calls); });
    for (std::thread& thread : busy) thread.join();
    std::vector<double> all;
    for (const auto& latencies : each) all.insert(all.end(), latencies.begin(), latencies.end());
    const Spread together = SpreadOf(all);
    std::printf("one operation, alone:       median %5.1f ms, worst %5.1f ms\n", alone.median, alone.worst);
    std::printf("one operation, 8 busy:      median %5.1f ms, worst %5.1f ms (target: no worse than alone, 62 ms)\n",
                together.median, together.worst);

    // Unplugged: each object looks for its keypad often while it may be restarting, then less.
    for (const velnorsim::DeviceId keypad : keypads) velnorsim::Detach(keypad);
    const double restarting = cpuEach(10);
    std::printf("8 objects, keypads gone:    %.3f%% of a core each in the first 10 s, %.3f%% over the next %d s\n",
                restarting, cpuEach(idleSeconds), idleSeconds);
    return 0;
}
