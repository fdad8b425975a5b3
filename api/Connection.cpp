// Opening, closing and reopening the keypad, and the connection state.
#include <hidapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "Boundary.h"
#include "HidapiLock.h"
#include "Trace.h"
#include "WideText.h"
#include "WorkerPause.h"
#include "velnor/PlixoApi.h"

using velnor::Trace;

namespace {

constexpr int kKeypadInterface = 1;
constexpr std::size_t kStringCapacity = 260;

using StringGetter = int (*)(hid_device*, wchar_t*, size_t);

std::string ReadDeviceString(hid_device* device, StringGetter getter) {
    wchar_t text[kStringCapacity] = {};
    if (getter(device, text, kStringCapacity) < 0) return "Unable To Find";
    text[kStringCapacity - 1] = L'\0';
    return velnor::WideToNarrow(text, kStringCapacity);
}

// The keypad's text as a trace line shows it: every control character (below 0x20, and 0x7F) as
// \xHH, so that what a keypad reports cannot drive the terminal that shows the trace.
std::string Printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown.push_back(c);
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        shown += escaped;
    }
    return shown;
}

}  // namespace

bool PlixoApi::OpenDevice() {
    std::lock_guard lock(velnor::HidapiLock());
    if (!velnor::AcquireHidapi(workerPause->holdsHidapi)) return false;
    Trace("vid %x pid %x \r\n", vendorId, productId);

    const auto wantedVendor = static_cast<unsigned short>(vendorId & 0xFFFF);
    const auto wantedProduct = static_cast<unsigned short>(productId & 0xFFFF);
    hid_device_info* devices = hid_enumerate(wantedVendor, wantedProduct);
    for (const hid_device_info* entry = devices; entry != nullptr; entry = entry->next) {
        if (entry->vendor_id == wantedVendor && entry->product_id == wantedProduct &&
            entry->interface_number == kKeypadInterface) {
            if (entry->path != nullptr) device = hid_open_path(entry->path);
            break;
        }
    }
    hid_free_enumeration(devices);

    if (device == nullptr) {
        product = "None";
        manufacturer = "None";
        Trace("manufacture none\r\n");
        return false;
    }
    manufacturer = ReadDeviceString(device, hid_get_manufacturer_string);
    Trace("manufacture %s\r\n", Printable(manufacturer).c_str());
    product = ReadDeviceString(device, hid_get_product_string);
    hid_set_nonblocking(device, 1);
    return true;
}

// Ends this object's use of hidapi as well: hid_exit once no other object uses it.
void PlixoApi::CloseDevice() {
    std::lock_guard lock(velnor::HidapiLock());
    CloseHandle();
    velnor::ReleaseHidapi(workerPause->holdsHidapi);
}

// With the hidapi lock held.
void PlixoApi::CloseHandle() {
    if (device != nullptr) {
        hid_close(device);
        device = nullptr;
    }
}

// The pause before an attempt ends early when the object is being destroyed.
bool PlixoApi::Reconnect(int milliseconds) {
    const int opened = velnor::CatchAtBoundary(lastError, [&] {
        if (!workerPause->stop.Sleep(std::chrono::milliseconds(milliseconds))) return 0;
        if (workerPause->opening.BySelection()) {
            const int failure = OpenSelected();
            if (failure == UNKNOWN_ERROR) return 0;  // hidapi cannot be set up: no answer about the keypad
            workerPause->events.OpenFailed(failure);
            if (failure != 0) return 0;
        } else if (!OpenDevice()) {
            return 0;
        }
        DropQueuedRequests();  // none was meant for the keypad as it is now
        SetConnectionState(ConnectionState::Connected);
        return 1;
    });
    return opened == 1;
}

bool PlixoApi::SetConnectionState(ConnectionState state) {
    connectionState = state;
    workerPause->events.Changed(state);
    return true;
}
