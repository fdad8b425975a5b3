#include "ConnectionEvents.h"

#include <chrono>

namespace velnor {

void ConnectionEvents::Changed(ConnectionState state) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == ConnectionState::Connected && state != ConnectionState::Connected) ++losses_;
        state_ = state;
    }
    changed_.notify_all();
}

void ConnectionEvents::RestartWritten() {
    std::lock_guard lock(mutex_);
    lossesAtRestart_ = losses_;
    restartWritten_ = true;
}

void ConnectionEvents::OpenFailed(std::int32_t reason) {
    std::lock_guard lock(mutex_);
    openFailure_ = reason;
}

std::int32_t ConnectionEvents::LastOpenFailure() {
    std::lock_guard lock(mutex_);
    return openFailure_;
}

template <typename Condition>
bool ConnectionEvents::WaitFor(int timeoutMs, Condition condition) {
    std::unique_lock lock(mutex_);
    if (timeoutMs <= 0) {
        if (timeoutMs < 0) return condition();
        changed_.wait(lock, condition);
        return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), condition);
}

bool ConnectionEvents::WaitUntilConnected(int timeoutMs) {
    return WaitFor(timeoutMs, [this] { return state_ == ConnectionState::Connected; });
}

bool ConnectionEvents::WaitUntilLeftSinceRestart(int timeoutMs) {
    return WaitFor(timeoutMs, [this] { return restartWritten_ && losses_ > lossesAtRestart_; });
}

}  // namespace velnor
