// Several keypads on one host: listing them, opening the one chosen, following it through its
// restarts, and waiting for it to leave or come back.
#include <hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "Boundary.h"
#include "HidapiLock.h"
#include "KeypadList.h"
#include "WorkerPause.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;

namespace {

// A use of hidapi for the time of one listing, by a caller that may hold none.
std::vector<KEYPAD_ENTRY> ListWithHidapiSetUp(int vendorId, int productId) {
    bool holds = false;
    {
        std::lock_guard lock(velnor::HidapiLock());
        if (!velnor::AcquireHidapi(holds)) throw PlixoApi::UNKNOWN_ERROR;
    }
    struct Release {
        bool& holds;
        ~Release() {
            std::lock_guard lock(velnor::HidapiLock());
            velnor::ReleaseHidapi(holds);
        }
    } release{holds};
    return velnor::EnumerateKeypads(vendorId, productId);
}

}  // namespace

int PlixoApi::ListKeypads(int vendorId, int productId, std::vector<KEYPAD_ENTRY>* keypads) {
    std::atomic<std::int32_t> failure{0};
    return CatchAtBoundary(failure, [&] {
        if (keypads == nullptr) throw NULL_POINTER;
        *keypads = ListWithHidapiSetUp(vendorId, productId);
        return 0;
    });
}

// Worker, or OpenKeypad's caller before the worker runs. Without a trace line: an object made
// for a selection prints nothing.
bool PlixoApi::OpenSelected() {
    const KEYPAD_SELECTION& selection = workerPause->opening.Selection();
    {
        std::lock_guard lock(velnor::HidapiLock());
        if (!velnor::AcquireHidapi(workerPause->holdsHidapi)) return false;
    }
    const std::vector<KEYPAD_ENTRY> attached = velnor::EnumerateKeypads(selection.VendorId, selection.ProductId);
    const std::optional<std::size_t> found = velnor::FindKeypad(workerPause->opening.Identity(), attached);
    if (!found) {
        workerPause->openFailure = NOT_CONNECTED;
        return false;
    }
    const KEYPAD_ENTRY& keypad = attached[*found];
    {
        std::lock_guard lock(velnor::HidapiLock());
        device = hid_open_path(keypad.Path.c_str());
        if (device != nullptr) hid_set_nonblocking(device, 1);
    }
    if (device == nullptr) {
        // The node is there but cannot be opened: tell a permission problem from a keypad that
        // went away meanwhile.
        const bool denied = access(keypad.Path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
        workerPause->openFailure = denied ? ACCESS_DENIED : NOT_CONNECTED;
        return false;
    }
    manufacturer = keypad.Manufacturer;
    product = keypad.Product;
    workerPause->opening.Opened(keypad);
    return true;
}

int PlixoApi::OpenKeypad(int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (!workerPause->opening.BySelection() || workerThread.joinable()) throw INVALID_ARGUMENT;
        const KEYPAD_SELECTION& selection = workerPause->opening.Selection();
        vendorId = selection.VendorId;
        productId = selection.ProductId;
        const std::vector<std::size_t> matching =
            velnor::MatchSelection(selection, ListWithHidapiSetUp(selection.VendorId, selection.ProductId));
        const bool knownKind = selection.By == SELECT_BY_PATH || selection.By == SELECT_BY_USB_SERIAL ||
                               selection.By == SELECT_BY_LOCATION;
        if (!knownKind || selection.Value.empty() || matching.size() > 1) throw INVALID_ARGUMENT;

        const bool opened = OpenSelected();
        SetConnectionState(opened ? ConnectionState::Connected : ConnectionState::NotConnected);
        if (!StartWorker()) {
            SetConnectionState(ConnectionState::NotConnected);
            CloseDevice();
            throw UNKNOWN_ERROR;
        }
        if (opened) return 0;
        // A permission problem does not go away by waiting; an absent keypad may come.
        if (workerPause->openFailure != ACCESS_DENIED && workerPause->events.WaitUntilConnected(timeout)) return 0;
        throw static_cast<RETURN_CODES>(workerPause->openFailure.load());
    });
}

int PlixoApi::GetOpenedKeypad(KEYPAD_ENTRY* keypad) const {
    if (keypad == nullptr) return NULL_POINTER;
    try {
        const std::optional<KEYPAD_ENTRY> opened = workerPause->opening.Opened();
        if (!opened) return NOT_CONNECTED;
        *keypad = *opened;
        return 0;
    } catch (...) {
        return UNKNOWN_ERROR;
    }
}

ConnectionState PlixoApi::GetConnectionState() const { return connectionState.load(); }

// Without a worker nothing would ever connect or leave: such a wait would last for ever.
int PlixoApi::WaitUntilConnected(int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (!workerThread.joinable()) throw NOT_CONNECTED;
        return workerPause->events.WaitUntilConnected(timeout) ? 0 : TIMEOUT;
    });
}

int PlixoApi::WaitUntilLeft(int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (!workerThread.joinable()) throw NOT_CONNECTED;
        return workerPause->events.WaitUntilLeftSinceRestart(timeout) ? 0 : TIMEOUT;
    });
}
