// Construction, InitialiseBrellUSBDevice, findUSBDevice and destruction.
#include "velnor/PlixoApi.h"

#include <hidapi.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "AutoResetEvent.h"
#include "Boundary.h"
#include "HidapiLock.h"
#include "ReplySlot.h"
#include "Trace.h"
#include "WorkerPause.h"
#include "protocol/DeviceRequest.h"
#include "protocol/MessageIncoming.h"

using velnor::CatchAtBoundary;
using velnor::Trace;

PlixoApi::PlixoApi()
    : requestEvent(std::make_unique<velnor::AutoResetEvent>()),
      replySlot(std::make_unique<velnor::ReplySlot>(replyCounter, velnor::ReplySlot::Rule::AnyReply)),
      workerPause(std::make_unique<velnor::WorkerPause>()) {
    Trace("called constructer 1\r\n");
    version = "7.0";
}

// Nothing is printed, ever, by an object made for a selection.
PlixoApi::PlixoApi(const KEYPAD_SELECTION& selection)
    : requestEvent(std::make_unique<velnor::AutoResetEvent>()),
      replySlot(std::make_unique<velnor::ReplySlot>(replyCounter, velnor::ReplySlot::Rule::OwnType)),
      workerPause(std::make_unique<velnor::WorkerPause>(selection)) {
    version = "7.0";
}

PlixoApi::PlixoApi(const KEYPAD_ENTRY& keypad, int vendorId, int productId)
    : requestEvent(std::make_unique<velnor::AutoResetEvent>()),
      replySlot(std::make_unique<velnor::ReplySlot>(replyCounter, velnor::ReplySlot::Rule::OwnType)),
      workerPause(std::make_unique<velnor::WorkerPause>(
          KEYPAD_SELECTION{vendorId, productId, SELECT_BY_PATH, keypad.Path}, keypad)) {
    version = "7.0";
}

bool PlixoApi::Quiet() const { return workerPause->opening.BySelection(); }

PlixoApi::~PlixoApi() {
    const bool quiet = Quiet();
    if (!quiet) Trace("Dispose \r\n");
    if (workerThread.joinable()) {
        running = 0;
        workerPause->stop.Stop();
        requestEvent->Signal();
        try {
            workerThread.join();
        } catch (...) {
            workerThread.detach();  // only a join from the worker itself can fail
        }
        if (!quiet) Trace("Dispose 1\r\n");
    }
    if (!quiet) {
        Trace("Dispose 2\r\n");
        Trace("Dispose 3\r\n");
    }
    CloseDevice();
    if (currentIncoming) {
        if (!quiet) Trace("Dispose 4\r\n");
        currentIncoming.reset();
    }
    if (replySlot->Holds()) {
        if (!quiet) Trace("Dispose 5\r\n");
        replySlot->Take();
    }
}

bool PlixoApi::InitialiseBrellUSBDevice(int newVendorId, int newProductId) {
    if (Quiet()) {
        lastError = INVALID_ARGUMENT;  // an object made for a selection opens with OpenKeypad
        return false;
    }
    const int opened = CatchAtBoundary(lastError, [&] {
        const bool workerRuns = workerThread.joinable();
        if (workerRuns) workerPause->park.Pause(*requestEvent);
        struct ResumeWorker {
            velnor::WorkerPark* park;
            ~ResumeWorker() {
                if (park) park->Resume();
            }
        } resume{workerRuns ? &workerPause->park : nullptr};

        vendorId = newVendorId;
        productId = newProductId;
        Trace("vid %d pid %d\r\n", newVendorId, newProductId);
        if (workerRuns) ReopenWhileWorkerParked();
        const bool found = OpenDevice();
        Trace(found ? "Connected\r\n" : "Not connected\r\n");
        SetConnectionState(found ? ConnectionState::Connected : ConnectionState::NotConnected);
        if (!workerRuns && !StartWorker()) {
            SetConnectionState(ConnectionState::NotConnected);
            CloseDevice();
            throw UNKNOWN_ERROR;
        }
        return found ? 1 : 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return opened == 1;
}

// The worker is parked: drop the old handle, whatever partial input it left, and the requests
// meant for the keypad as it was.
void PlixoApi::ReopenWhileWorkerParked() {
    if (device != nullptr) CloseDevice();
    writeFailed = false;
    receiveBuffer.clear();
    if (currentIncoming) currentIncoming = std::make_unique<velnor::MessageIncoming>();
    DropQueuedRequests();
}

bool PlixoApi::StartWorker() {
    running = 1;
    try {
        workerThread = std::thread([this] { WorkerMain(); });
        return true;
    } catch (...) {
        running = 0;
        return false;
    }
}

int PlixoApi::findUSBDevice(int wantedVendorId, int wantedProductId) {
    std::lock_guard lock(velnor::HidapiLock());
    hid_device_info* devices = hid_enumerate(0, 0);
    int found = 0;
    for (const hid_device_info* entry = devices; entry != nullptr; entry = entry->next) {
        if (!Quiet()) Trace("USB Device: VID %x, PID %x \r\n", entry->vendor_id, entry->product_id);
        if (wantedVendorId == entry->vendor_id && wantedProductId == entry->product_id) {
            found = 1;
            break;
        }
    }
    hid_free_enumeration(devices);
    return found;
}
