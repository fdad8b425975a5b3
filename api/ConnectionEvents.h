// Changes of the connection state, for callers that wait for the keypad to leave or come back.
// The worker (or a caller opening the keypad while the worker is not running or parked) reports
// each change; waiting callers are woken. Nothing else is done under its lock.
#ifndef VELNOR_CONNECTIONEVENTS_H
#define VELNOR_CONNECTIONEVENTS_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "velnor/PlixoApi.h"

namespace velnor {

class ConnectionEvents {
public:
    // Whoever sets the connection state: called after the state was stored.
    void Changed(ConnectionState state);
    // Worker, once a reset's report was written: the keypad is expected to leave from now on.
    // A reset whose report could not be written restarts nothing and changes nothing here.
    void RestartWritten();
    // Whoever opens: why the last attempt to open a keypad chosen by selection failed (-2 not
    // there, -6 permission denied).
    void OpenFailed(std::int32_t reason);

    // Callers: true once the condition holds, false after the time-out (0: no limit).
    bool WaitUntilConnected(int timeoutMs);
    bool WaitUntilLeftSinceRestart(int timeoutMs);
    // OpenKeypad's caller, once its wait for the keypad has ended without it.
    std::int32_t LastOpenFailure();

private:
    template <typename Condition>
    bool WaitFor(int timeoutMs, Condition condition);

    std::mutex mutex_;
    std::condition_variable changed_;
    ConnectionState state_ = ConnectionState::NotConnected;  // guarded by mutex_
    std::uint64_t losses_ = 0;         // times the state left Connected; guarded by mutex_
    std::uint64_t lossesAtRestart_ = 0;  // losses_ when the last reset was written; guarded by mutex_
    bool restartWritten_ = false;        // a reset was ever written; guarded by mutex_
    std::int32_t openFailure_ = 0;       // guarded by mutex_
};

}  // namespace velnor

#endif
