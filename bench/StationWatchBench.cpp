// How soon the station's watch wakes after an emulated keypad is plugged in: umockdev hands its
// uevents to the libudev monitor as udevd would. Prints the wake-up latency over the plugs.
//   umockdev-wrapper bench/bench_station_watch [plugs]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "EmulatedKeypad.h"
#include "station/KeypadWatch.h"

int main(int argc, char** argv) {
    const int plugs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    velnortest::KeypadOptions options;
    options.location = "1-1";
    options.settings.firmwareName = "V6.10";
    velnortest::EmulatedKeypad keypad(options);  // the test bed first: its uevents reach the watch
    std::string why;
    const std::unique_ptr<velnorcli::KeypadWatch> watch = velnorcli::WatchKeypads(why);
    if (!watch->Events()) {
        std::fprintf(stderr, "no kernel events here (%s): run under umockdev-wrapper\n", why.c_str());
        return 1;
    }
    std::vector<double> latencies;
    for (int i = 0; i < plugs; ++i) {
        keypad.Unplug();
        watch->Wait(std::chrono::milliseconds(300), nullptr);  // takes the unplug's events
        std::chrono::steady_clock::time_point at;
        std::thread plug([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            at = std::chrono::steady_clock::now();
            keypad.Plug();
        });
        watch->Wait(std::chrono::seconds(10), nullptr);
        const auto woke = std::chrono::steady_clock::now();
        plug.join();
        latencies.push_back(std::chrono::duration<double, std::milli>(woke - at).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("plug -> watch woke, %d plugs: min %.1f ms, median %.1f ms, max %.1f ms (target <= 100 ms to the first report)\n",
                plugs, latencies.front(), latencies[latencies.size() / 2], latencies.back());
}
