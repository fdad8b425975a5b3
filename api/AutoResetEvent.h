// An auto-reset event: Signal() leaves it signalled until one wait takes the signal. Signals
// do not add up.
#ifndef VELNOR_AUTORESETEVENT_H
#define VELNOR_AUTORESETEVENT_H

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velnor {

class AutoResetEvent {
public:
    void Signal();
    // True when the event was signalled within the time (the signal is then taken).
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;  // guarded by mutex_
};

}  // namespace velnor

#endif
