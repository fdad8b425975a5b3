// Tells the worker to stop, and wakes it from the pause between two attempts to open the keypad,
// so that the destructor does not wait out the worker's cycle.
#ifndef VELNOR_STOPSIGNAL_H
#define VELNOR_STOPSIGNAL_H

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velnor {

class StopSignal {
public:
    // Destructor's thread.
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }
    // Worker: sleeps the time unless stopped meanwhile; false once stopped.
    bool Sleep(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, time, [this] { return stopped_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;  // guarded by mutex_
};

}  // namespace velnor

#endif
