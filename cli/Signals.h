// SIGINT and SIGTERM for the commands that write: they set a flag that the keypads' threads look
// at between steps. No work is done in a signal handler: the signals are blocked in every thread
// and taken by one thread of this class with sigwait. Create it before any other thread, so that
// every thread inherits the blocked signals (a signal interrupting hidapi's poll would look like
// a lost keypad). As no system call is interrupted, every wait that may last (a pipe, a lock)
// looks at the flag in slices (cli/lib/Waiting.h). SIGPIPE is ignored meanwhile: a log pipe
// whose reader went away is a line not written, not the end of a run that is writing keypads.
#ifndef VELNOR_CLI_SIGNALS_H
#define VELNOR_CLI_SIGNALS_H

#include <signal.h>

#include <atomic>
#include <thread>

namespace velnorcli {

class StopOnSignals {
public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    const std::atomic<bool>& Stop() const { return stop_; }
    // The signal that set the flag ("SIGINT"), or nullptr.
    const char* Which() const;
    // How many of them came: a station finishes its keypads on the first, stops them on the second.
    const std::atomic<int>& Count() const { return count_; }

private:
    sigset_t blocked_;
    sigset_t previous_;
    struct sigaction previousPipe_ {};
    std::atomic<bool> stop_{false};
    std::atomic<int> signal_{0};
    std::atomic<int> count_{0};
    std::thread waiter_;
};

}  // namespace velnorcli

#endif
