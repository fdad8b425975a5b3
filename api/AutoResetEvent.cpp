#include "AutoResetEvent.h"

namespace velnor {

void AutoResetEvent::Signal() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_one();
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
}

}  // namespace velnor
