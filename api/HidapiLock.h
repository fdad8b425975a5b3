// hidapi's set-up, enumeration, open and close are not thread-safe, and the worker (reconnects)
// and callers' threads (findUSBDevice, a second InitialiseBrellUSBDevice, the destructor) all
// reach them. Every such call is made while holding this one process-wide lock. It is held only
// around hidapi calls, never while waiting for anything else.
#ifndef VELNOR_HIDAPILOCK_H
#define VELNOR_HIDAPILOCK_H

#include <mutex>

namespace velnor {

std::mutex& HidapiLock();

}  // namespace velnor

#endif
