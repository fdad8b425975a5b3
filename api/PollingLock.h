// Takes a mutex the way callers must: never blocking on it, but trying with time-out 0 and
// sleeping 1 ms after each failed try, at most 1001 times.
#ifndef VELNOR_POLLINGLOCK_H
#define VELNOR_POLLINGLOCK_H

#include <mutex>

namespace velnor {

constexpr int kLockTries = 1001;

// The lock is held on return; throws PlixoApi::LOCK_TIMEOUT when the mutex stayed busy.
std::unique_lock<std::mutex> LockByPolling(std::mutex& mutex);

}  // namespace velnor

#endif
