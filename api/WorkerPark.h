// Parks the worker thread between two cycles while a caller's thread uses the device itself
// (a second InitialiseBrellUSBDevice reopening the keypad). The caller holds no lock while it
// waits for the worker to park, and the worker holds none while it is parked.
#ifndef VELNOR_WORKERPARK_H
#define VELNOR_WORKERPARK_H

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace velnor {

class AutoResetEvent;

class WorkerPark {
public:
    // Caller: wakes the worker through its request event and returns once it is parked.
    void Pause(AutoResetEvent& workerWake);
    // Caller: lets the parked worker go on.
    void Resume();

    // Worker: cheap check, between the steps of a cycle.
    bool Requested() const { return requested_.load(std::memory_order_acquire); }
    // Worker: parks until Resume() when a pause was asked for; otherwise returns at once.
    void ParkIfRequested();

private:
    std::atomic<bool> requested_{false};  // written by the caller, read by the worker
    std::mutex mutex_;
    std::condition_variable changed_;
    bool parked_ = false;  // guarded by mutex_; written by the worker
};

}  // namespace velnor

#endif
