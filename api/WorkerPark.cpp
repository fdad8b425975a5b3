#include "WorkerPark.h"

#include "AutoResetEvent.h"

namespace velnor {

void WorkerPark::Pause(AutoResetEvent& workerWake) {
    requested_.store(true, std::memory_order_release);
    workerWake.Signal();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return parked_; });
}

void WorkerPark::Resume() {
    {
        std::lock_guard lock(mutex_);
        requested_.store(false, std::memory_order_release);
    }
    changed_.notify_all();
}

void WorkerPark::ParkIfRequested() {
    if (!Requested()) return;
    std::unique_lock lock(mutex_);
    parked_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !requested_.load(std::memory_order_acquire); });
    parked_ = false;
}

}  // namespace velnor
