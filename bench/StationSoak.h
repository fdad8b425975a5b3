// A station run in this process against simulated keypads that an operator plugs in, port
// after port, each replaced by a fresh one once the station is done with it (or once it blinked
// its result), some pulled out in the middle of their restore. It hands out serials from a list
// (--serials) and checks afterwards what a production line relies on: no serial given twice,
// every keypad's outcome as the record of serials has it (an unknown outcome left "taking"),
// and the station's threads and descriptors back to what they were. The benchmark prints its
// figures; the soak test asserts the invariants on a short run.
#ifndef VELNOR_BENCH_STATIONSOAK_H
#define VELNOR_BENCH_STATIONSOAK_H

#include <cstddef>
#include <string>

namespace velnorbench {

struct SoakOptions {
    int ports = 4;              // locations 1-1 ... 1-N, each with a keypad at the start
    int keypads = 40;           // plugged in, in all (the station's --once)
    int resetAbsentMs = 50;     // how long a keypad is away when it restarts
    int unplugPercent = 30;     // the share of keypads pulled out at a random command of their restore
    unsigned seed = 1;
    bool feedback = false;      // the keypads blink their result; the operator waits for it
};

// Where one keypad's cycle went, summed over the keypads that ended well (milliseconds).
struct CycleTimes {
    std::size_t keypads = 0;
    double idle = 0;      // plugged in -> the station started it (its look for keypads)
    double read = 0;      // started -> its first write (open, status, a serial taken)
    double write = 0;     // first write -> the restart command
    double restart = 0;   // restart command -> the first command after it (the wait for it)
    double verify = 0;    // -> its restore ended (status read, serial recorded)
    double feedback = 0;  // -> its blinking ended (including the wait for its batch)
};

struct SoakOutcome {
    std::size_t ended = 0;     // keypads the station reported
    std::size_t updated = 0;
    std::size_t unchanged = 0;  // unchanged after a failure
    std::size_t unknown = 0;    // what its flash holds is not known
    // Faults: each must be 0.
    std::size_t givenTwice = 0;    // a serial taken again before it was returned, or held by two keypads
    std::size_t recordWrong = 0;   // an outcome the record of serials does not show as it was
    std::size_t notReported = 0;   // keypads plugged in that the station never reported
    long threadsBefore = 0, threadsAfter = 0;
    long fdsBefore = 0, fdsAfter = 0;
    long rssBeforeKiB = 0, rssAfterKiB = 0;
    long rssEarlyKiB = 0, rssLateKiB = 0;  // during the run: after a tenth of the keypads, after the last
    double seconds = 0;          // the station's run
    double allVerifiedMs = 0;    // the start -> the last keypad's restore ended
    CycleTimes times;
    std::string problems;        // what went wrong, one line each, for the failure message
};

// Sets the simulated bus up with `ports` keypads (other devices of the bus are pulled out),
// runs the station on them in this process and checks the outcome. Needs the simulated hidapi.
SoakOutcome RunSoak(const SoakOptions& options);

// This process's resident memory, threads and open descriptors.
long ResidentKiB();
long ThreadCount();
long DescriptorCount();

}  // namespace velnorbench

#endif
