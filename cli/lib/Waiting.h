// Waits on files that SIGINT or SIGTERM must be able to end. The signals only set a stop flag
// (cli/Signals.h) and interrupt no system call, so a wait that may last (a pipe nobody writes or
// reads, a lock another process holds) is cut into slices that look at the flag.
#ifndef VELNOR_CLI_WAITING_H
#define VELNOR_CLI_WAITING_H

#include <atomic>
#include <chrono>

namespace velnorcli {

// How often a wait looks at the stop flag: a stop ends it well within a second.
constexpr std::chrono::milliseconds kWaitSlice{50};

inline bool StopRequested(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

enum class Readiness { Ready, Stopped, Failed };

// Until poll(2) reports `events` (or a hang-up or an error, which the next read or write then
// tells) on `fd`: Ready; Stopped when the stop flag was set first; Failed with errno set.
Readiness AwaitReady(int fd, short events, const std::atomic<bool>* stop);

}  // namespace velnorcli

#endif
