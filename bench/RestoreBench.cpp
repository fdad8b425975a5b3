// Figures of velnor restore beside VelnorUtility -b, run as processes against simulated keypads
// that answer at once and restart 1000 ms after a reset, side by side in one run:
//   - a restore where every setting differs (target: at most 0.45 of VelnorUtility -b's time),
//   - a restore of a keypad that holds the file already (target: at most 200 ms),
//   - restore --all on 8 keypads (target: at most 1.25 times one keypad's restore),
//   - the same with --serials and --log (target: within 5 % of without), and with both in a
//     PostgreSQL database when VELNOR_BENCH_POSTGRES=URI names one (within 5 % of the files),
// and where the time of one restore goes: the 50 ms pause after each output report, the
// restart, and the rest (process start, listing, opening, replies).
//   bench_restore [runs]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QuietRun.h"


namespace {

constexpr int kPauseMs = 50;     // after every output report (the library's pacing)
constexpr int kRestartMs = 1000; // the simulated keypad's absence after a reset

const std::string kFile = std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt";

// Every setting differs from backup-6-keys.txt.
const char* const kDiffering =
    "set firmware V6.12\nset serial 87654321\nset led_level 1\nset buzzer 0\nset buzzer_period 7\n"
    "set key_count_option 2\nset keypad_table 0\n"
    "set code_table 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14\n";
// Holds backup-6-keys.txt.
const char* const kHolding =
    "set firmware V6.12\nset serial \"20261206    \"\nset led_level 7\nset buzzer 1\nset buzzer_period 50\n"
    "set key_count_option 1\nset keypad_table 1\n"
    "set code_table 1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58 00 00 00 00\n";

class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/velnor-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // A configuration of `count` keypads holding `settings`, its report log beside it.
    std::string Config(const std::string& name, int count, const char* settings) const {
        std::ofstream out(Path(name));
        for (int i = 1; i <= count; ++i) {
            out << "device path=kp" << i << " reset_absent_ms=" << kRestartMs << "\n" << settings;
        }
        out << "report_log " << Path(name + ".reports") << "\n";
        return Path(name);
    }

private:
    std::string path_;
};

// Wall milliseconds of one run, output thrown away; negative when it failed.
double Run(std::vector<std::string> words, const std::string& config) {
    const velnorbench::RunOutcome outcome = velnorbench::RunQuietly(std::move(words), velnorbench::SimulatedKeypads(config));
    return outcome.status == 0 ? outcome.milliseconds : -1;
}

struct Measure {
    double median = -1;
    int reports = 0;  // output reports the keypads received in one run
};

// The median of `runs` runs; `before` runs before each (not timed).
template <typename Before>
Measure Time(const std::vector<std::string>& words, const std::string& config, int runs, Before before) {
    std::vector<double> times;
    Measure measure;
    for (int i = 0; i < runs; ++i) {
        before();
        std::remove((config + ".reports").c_str());
        const double ms = Run(words, config);
        if (ms < 0) return measure;
        times.push_back(ms);
        std::ifstream log(config + ".reports");
        measure.reports = static_cast<int>(std::count(std::istreambuf_iterator<char>(log), {}, '\n'));
    }
    std::sort(times.begin(), times.end());
    measure.median = times[times.size() / 2];
    return measure;
}

Measure Time(const std::vector<std::string>& words, const std::string& config, int runs) {
    return Time(words, config, runs, [] {});
}

void Row(const char* what, const Measure& m, const std::string& against, const char* target) {
    if (m.median < 0) {
        std::printf("%-52s  FAILED\n", what);
        return;
    }
    std::printf("%-52s  %7.0f ms  %-26s  %s\n", what, m.median, against.c_str(), target);
}

std::string Ratio(const char* name, double ratio) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.2f", name, ratio);
    return text;
}

// Where the time of one restore goes, from its wall time and the reports it sent; `overlapping`
// pauses pass while the keypad is away anyway (the one after velnor's reset).
void Split(const char* who, const Measure& m, int overlapping, int fixedWaitMs, const char* fixedWait) {
    const int paced = m.reports - overlapping;
    const double pauses = paced * kPauseMs;
    std::printf("  %-16s %6.0f ms = %2d reports x %d ms pause (%4.0f ms) + %-32s (%4d ms) + rest %4.0f ms\n", who,
                m.median, paced, kPauseMs, pauses, fixedWait, fixedWaitMs, m.median - pauses - fixedWaitMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const Folder folder;
    const std::string differing = folder.Config("differing.conf", 1, kDiffering);
    const std::string holding = folder.Config("holding.conf", 1, kHolding);
    const std::string eight = folder.Config("eight.conf", 8, kDiffering);
    const std::string list = folder.Path("serials.txt");
    const std::string log = folder.Path("station.jsonl");
    const auto freshList = [&] {
        std::ofstream out(list);
        for (int i = 1001; i <= 1008; ++i) out << i << "\n";
        out.close();
        std::remove((list + ".taken").c_str());
    };

    std::printf("velnor restore beside VelnorUtility -b, simulated keypads answering at once and restarting %d ms\n"
                "after a reset; median of %d runs, wall time from process start to exit:\n\n",
                kRestartMs, runs);
    const Measure velnor = Time({VELNOR_PROGRAM, "restore", kFile}, differing, runs);
    const Measure utility = Time({VELNOR_UTILITY, "-b", kFile}, differing, runs);
    const Measure upToDate = Time({VELNOR_PROGRAM, "restore", kFile}, holding, runs);
    const Measure utilityHolding = Time({VELNOR_UTILITY, "-b", kFile}, holding, runs);
    const Measure all = Time({VELNOR_PROGRAM, "restore", "--all", kFile}, eight, runs);
    const Measure station =
        Time({VELNOR_PROGRAM, "restore", "--all", "--serials", list, "--log", log, kFile}, eight, runs, freshList);

    Row("velnor restore, every setting differs", velnor, Ratio("/ VelnorUtility -b:", velnor.median / utility.median),
        "target <= 0.45");
    Row("VelnorUtility -b, same file and start", utility, "", "");
    Row("velnor restore, keypad holds the file", upToDate, "", "target <= 200 ms");
    Row("VelnorUtility -b, keypad holds the file", utilityHolding, "", "(over 4.5 s)");
    Row("velnor restore --all, 8 keypads", all, Ratio("/ one keypad:", all.median / velnor.median), "target <= 1.25");
    Row("velnor restore --all --serials --log, 8 keypads", station,
        Ratio("/ without:", station.median / all.median), "target <= 1.05");
    if (const char* uri = std::getenv("VELNOR_BENCH_POSTGRES"); uri != nullptr) {
        std::ofstream many(folder.Path("many.txt"));  // serials for every run, added once
        for (int i = 0; i < 8 * (runs + 1); ++i) many << "B" << 100000 + i << "\n";
        many.close();
        Time({VELNOR_PROGRAM, "serials", "init", uri, "--list", folder.Path("many.txt")}, eight, 1);
        const Measure database = Time({VELNOR_PROGRAM, "restore", "--all", "--serials", uri, "--log", uri, kFile}, eight, runs);
        Row("the same, --serials URI --log URI", database, Ratio("/ with files:", database.median / station.median), "target <= 1.05");
    }

    std::printf("\nWhere the time of one restore goes:\n");
    Split("velnor", velnor, 1, kRestartMs, "restart (keypad away)");
    Split("VelnorUtility", utility, 0, 3000 + 2 * 500, "3 s sleep + 2 openings of >= 500 ms");
    Split("velnor, holding", upToDate, 0, 0, "no restart");
    std::printf("  velnor's reports: the status, each differing setting, the RAM check, flash, reset, the read back\n"
                "  (the pause after the reset passes while the keypad is away). The rest is its start, listing and\n"
                "  opening, the replies, and noticing the keypad back (the library looks every 40 ms).\n");
    return 0;
}
