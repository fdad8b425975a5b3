// hidapi's set-up, enumeration, open and close are not thread-safe, and the worker (reconnects)
// and callers' threads (findUSBDevice, a second InitialiseBrellUSBDevice, the destructor) all
// reach them. Every such call is made while holding this one process-wide lock. It is held only
// around hidapi calls, never while waiting for anything else.
//
// hidapi's set-up is process-wide too: hid_exit must not pull it from under another PlixoApi
// object. Each object holds one use of hidapi from its first open attempt until its keypad is
// closed (an object made for a selection: until it is destroyed), each listing for its time,
// and a caller for as long as it holds hidapi (PlixoApi::HoldHidapi); hid_exit is called when
// the last use in the process ends.
#ifndef VELNOR_HIDAPILOCK_H
#define VELNOR_HIDAPILOCK_H

#include <mutex>

namespace velnor {

std::mutex& HidapiLock();

// With the hidapi lock held. `holds` is the user's own record of whether it holds a use.
// Acquire calls hid_init on every attempt and takes a use when the user holds none yet; false
// when hid_init fails.
bool AcquireHidapi(bool& holds);
// As Acquire, but hid_init only when no use is held in the process: a listing and the opens that
// follow it share one set-up.
bool ShareHidapi(bool& holds);
// Ends the user's use, if it holds one; hid_exit when it was the last.
void ReleaseHidapi(bool& holds);

// A caller's own uses (PlixoApi::HoldHidapi), counted apart from the objects' ones.
bool HoldForCaller();
void ReleaseForCaller();  // nothing when no caller holds one

}  // namespace velnor

#endif
