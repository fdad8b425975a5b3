#include "HidapiLock.h"

#include <hidapi.h>

namespace velnor {

namespace {
// std::mutex has a constant initialiser and a trivial destructor: safe to outlive main().
constinit std::mutex hidapiMutex;
int hidapiUsers = 0;  // guarded by hidapiMutex
int callerHolds = 0;  // guarded by hidapiMutex
}  // namespace

std::mutex& HidapiLock() { return hidapiMutex; }

// hid_init is called on every attempt, as an open attempt always began; it is idempotent.
bool AcquireHidapi(bool& holds) {
    if (hid_init() != 0) return false;
    if (holds) return true;
    holds = true;
    ++hidapiUsers;
    return true;
}

bool ShareHidapi(bool& holds) {
    if (holds) return true;
    if (hidapiUsers == 0 && hid_init() != 0) return false;
    holds = true;
    ++hidapiUsers;
    return true;
}

void ReleaseHidapi(bool& holds) {
    if (!holds) return;
    holds = false;
    if (--hidapiUsers == 0) hid_exit();
}

bool HoldForCaller() {
    bool holds = false;
    if (!ShareHidapi(holds)) return false;
    ++callerHolds;
    return true;
}

void ReleaseForCaller() {
    if (callerHolds == 0) return;
    --callerHolds;
    bool holds = true;
    ReleaseHidapi(holds);
}

}  // namespace velnor
