#include "PollingLock.h"

#include <chrono>
#include <thread>

#include "velnor/PlixoApi.h"

namespace velnor {

std::unique_lock<std::mutex> LockByPolling(std::mutex& mutex) {
    std::unique_lock lock(mutex, std::defer_lock);
    for (int tries = 0; tries < kLockTries; ++tries) {
        if (lock.try_lock()) return lock;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    throw PlixoApi::LOCK_TIMEOUT;
}

}  // namespace velnor
