// How soon velnor station sends its first report to a keypad that is plugged in: from the
// keypad's uevents (umockdev hands them to the station's libudev monitor as udevd would) to the
// first output report that the emulated keypad reads from its node. The station runs as a child
// process with Debian's hidapi; the keypad is restored once at its start, then unplugged and
// plugged in again, each time holding the file already (read, nothing written).
//   umockdev-wrapper bench/bench_station_first_report [plugs]
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "EmulatedKeypad.h"
#include "support/Run.h"

namespace {

using Clock = std::chrono::steady_clock;
using velnortest::Running;

constexpr std::chrono::seconds kPatient{30};  // only stops a run that would hang

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Reads the station's events until it has told `count` of this kind; false after kPatient or
// once it ended.
bool AwaitEvents(Running& station, const std::string& kind, std::size_t count) {
    const std::string event = "\"event\":\"" + kind + "\"";
    const Clock::time_point until = Clock::now() + kPatient;
    while (Count(station.Output(), event) < count) {
        if (Clock::now() > until) return false;
        station.WaitForOutput("\n\n", std::chrono::milliseconds(20));  // never there: reads what comes
    }
    return true;
}

double Ms(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

int Fail(Running& station, const std::string& what) {
    std::fprintf(stderr, "bench_station_first_report: %s\n%s", what.c_str(), station.Output().c_str());
    station.Signal(SIGKILL);
    station.Wait();
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int plugs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev-preload") == nullptr) {
        std::fprintf(stderr, "bench_station_first_report: run under umockdev-wrapper\n");
        return 1;
    }
    velnortest::KeypadOptions options;
    options.location = "1-1";
    options.settings.firmwareName = "V7.10";
    velnortest::EmulatedKeypad keypad(options);  // the test bed first: the station inherits it
    velnortest::Launch launch(VELNOR_EXAMPLES_DIR);
    launch.environment = {"LD_LIBRARY_PATH", "VELNOR_SIM_CONFIG"};  // Debian's hidapi, not the simulated one
    Running station({VELNOR_PROGRAM, "station", "--json", "--no-feedback", "backup-8-keys.txt"}, launch);
    if (!AwaitEvents(station, "finished", 1)) return Fail(station, "the keypad attached at the start was not restored");

    std::vector<double> latencies;
    for (int i = 0; i < plugs; ++i) {
        keypad.Unplug();
        if (!AwaitEvents(station, "left", static_cast<std::size_t>(i) + 1)) return Fail(station, "the unplug went unnoticed");
        keypad.Plug();
        if (!AwaitEvents(station, "finished", static_cast<std::size_t>(i) + 2)) return Fail(station, "the keypad was not read");
        const velnortest::EmulatedKeypad::Seen seen = keypad.Now();
        latencies.push_back(Ms(seen.firstReportAt - seen.pluggedAt));
    }
    station.Signal(SIGTERM);
    const int status = station.Wait().status;
    std::sort(latencies.begin(), latencies.end());
    std::printf("uevent -> first report of the station, %d plugs: min %.1f ms, median %.1f ms, max %.1f ms "
                "(target <= 100 ms); station status %d\n",
                plugs, latencies.front(), latencies[latencies.size() / 2], latencies.back(), status);
    return status == 0 ? 0 : 1;
}
