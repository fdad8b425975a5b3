// What a PlixoApi object keeps beyond the members of its published layout. The object holds it
// through the pointer that layout already had for the worker's park handshake, which is why the
// class keeps that name: programs built against libVelnorApi.so.7 know the pointer, never what
// it points to. Each part is an idea of its own file and says who touches it.
#ifndef VELNOR_WORKERPAUSE_H
#define VELNOR_WORKERPAUSE_H

#include "ConnectionEvents.h"
#include "Opening.h"
#include "StopSignal.h"
#include "WorkerPark.h"

namespace velnor {

class WorkerPause {
public:
    WorkerPause() = default;
    explicit WorkerPause(const KEYPAD_SELECTION& selection) : opening(selection) {}
    WorkerPause(const KEYPAD_SELECTION& selection, const KEYPAD_ENTRY& listed) : opening(selection, listed) {}

    WorkerPark park;          // a caller parks the worker to use the device itself
    StopSignal stop;          // the destructor wakes the worker instead of waiting out its cycle
    ConnectionEvents events;  // callers wait for the keypad to leave or come back
    Opening opening;          // the design's way of opening, or by selection

    // Whether this object holds a use of hidapi (HidapiLock.h). Touched with the hidapi lock
    // held, by whoever opens or closes the device.
    bool holdsHidapi = false;
};

}  // namespace velnor

#endif
