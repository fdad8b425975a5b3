#include "HidapiLock.h"

#include <hidapi.h>

namespace velnor {

namespace {
// std::mutex has a constant initialiser and a trivial destructor: safe to outlive main().
constinit std::mutex hidapiMutex;
int hidapiUsers = 0;  // guarded by hidapiMutex
}  // namespace

std::mutex& HidapiLock() { return hidapiMutex; }

bool AcquireHidapi(bool& holds) {
    if (holds) return true;
    if (hid_init() != 0) return false;
    holds = true;
    ++hidapiUsers;
    return true;
}

void ReleaseHidapi(bool& holds) {
    if (!holds) return;
    holds = false;
    if (--hidapiUsers == 0) hid_exit();
}

}  // namespace velnor
