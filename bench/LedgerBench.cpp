// Figures of the serial ledger (velnor restore --serials): the time one keypad's Take needs, with
// the record's lock held, for lists of 10,000, 160,000 and 1,000,000 serials (target: under 1 s
// a keypad for 1,000,000 serials and 1,000 keypads), with a record of 1,000 keypads already
// served and with one where half the list is taken; and the process's peak memory.
//   bench_ledger [takes per figure]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "SerialLedger.h"

namespace {

using Clock = std::chrono::steady_clock;

// A list of `serials` eight-digit serials, and a record in which the first `served` were
// taken and verified, two lines each as velnor writes them.
void WriteFiles(const std::string& list, long serials, long served) {
    std::ofstream out(list);
    for (long i = 0; i < serials; ++i) out << 10000000 + i << '\n';
    out.close();
    std::ofstream record(list + ".taken");
    for (long i = 0; i < served; ++i) {
        for (const char* state : {"taking", "taken"}) {
            record << 10000000 + i << '\t' << state << "\t2026-12-07T10:00:00.000Z\tstation-7:4242\t1-2." << i % 8 << '\n';
        }
    }
}

double MillisecondsPerTake(const std::string& list, int takes) {
    velnorcli::FileLedger ledger(list);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < takes; ++i) {
        const velnorcli::Result<std::string> taken = ledger.Take("1-2." + std::to_string(i % 8));
        if (!taken) {
            std::printf("take %d failed: %s\n", i, taken.failure().message.c_str());
            return -1;
        }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / takes;
}

}  // namespace

int main(int argc, char** argv) {
    const int takes = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string folder = "/tmp/velnor-bench-ledger-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string list = folder + "/serials.txt";
    for (long serials : {10000L, 160000L, 1000000L}) {
        for (long served : {0L, 1000L, serials / 2}) {
            WriteFiles(list, serials, served);
            const double ms = MillisecondsPerTake(list, takes);
            std::printf("list of %7ld serials, record of %6ld served (%5.1f MiB): %8.2f ms a Take (mean of %d)\n", serials,
                        served, static_cast<double>(std::filesystem::file_size(list + ".taken")) / (1 << 20), ms, takes);
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory %ld KiB (target: a Take under 1000 ms at 1,000,000 serials)\n", usage.ru_maxrss);
    std::filesystem::remove_all(folder);
    return 0;
}
