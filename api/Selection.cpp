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
        if (!velnor::ShareHidapi(holds)) throw PlixoApi::UNKNOWN_ERROR;
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

int PlixoApi::HoldHidapi() {
    try {
        std::lock_guard lock(velnor::HidapiLock());
        return velnor::HoldForCaller() ? 0 : UNKNOWN_ERROR;
    } catch (...) {
        return UNKNOWN_ERROR;
    }
}

void PlixoApi::ReleaseHidapi() {
    try {
        std::lock_guard lock(velnor::HidapiLock());
        velnor::ReleaseForCaller();
    } catch (...) {
        // Nothing leaves the library; a lock that cannot be taken leaves the hold as it was.
    }
}

// Worker, or OpenKeypad's caller before the worker runs: 0, or why the keypad was not opened.
// The object keeps its use of hidapi while it looks. Without a trace line: an object made for a
// selection prints nothing.
int PlixoApi::OpenSelected() {
    const KEYPAD_SELECTION& selection = workerPause->opening.Selection();
    {
        std::lock_guard lock(velnor::HidapiLock());
        if (!velnor::ShareHidapi(workerPause->holdsHidapi)) return UNKNOWN_ERROR;
    }
    const std::vector<KEYPAD_ENTRY> attached = velnor::EnumerateKeypads(selection.VendorId, selection.ProductId);
    const std::optional<std::size_t> found = velnor::FindKeypad(workerPause->opening.Identity(), attached);
    return found ? OpenListed(attached[*found]) : NOT_CONNECTED;
}

// The keypad of a listing, by its path: 0, or why it was not opened.
int PlixoApi::OpenListed(const KEYPAD_ENTRY& keypad) {
    {
        std::lock_guard lock(velnor::HidapiLock());
        device = hid_open_path(keypad.Path.c_str());
        if (device != nullptr) hid_set_nonblocking(device, 1);
    }
    if (device == nullptr) {
        // The node is there but cannot be opened: tell a permission problem from a keypad that
        // went away meanwhile.
        const bool denied = access(keypad.Path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
        return denied ? ACCESS_DENIED : NOT_CONNECTED;
    }
    manufacturer = keypad.Manufacturer;
    product = keypad.Product;
    workerPause->opening.Opened(keypad);
    return 0;
}

// The keypads are listed once, and the one chosen is opened from that listing; an object made
// for an entry opens it from the caller's listing without listing at all. The object's use of
// hidapi, taken here, lasts until it is destroyed.
int PlixoApi::OpenKeypad(int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (!workerPause->opening.BySelection() || workerThread.joinable()) throw INVALID_ARGUMENT;
        const KEYPAD_SELECTION& selection = workerPause->opening.Selection();
        vendorId = selection.VendorId;
        productId = selection.ProductId;
        {
            std::lock_guard lock(velnor::HidapiLock());
            if (!velnor::ShareHidapi(workerPause->holdsHidapi)) throw UNKNOWN_ERROR;
        }
        std::optional<KEYPAD_ENTRY> chosen = workerPause->opening.Listed();
        if (!chosen) {
            const std::vector<KEYPAD_ENTRY> attached = velnor::EnumerateKeypads(selection.VendorId, selection.ProductId);
            const std::vector<std::size_t> matching = velnor::MatchSelection(selection, attached);
            const bool knownKind = selection.By == SELECT_BY_PATH || selection.By == SELECT_BY_USB_SERIAL ||
                                   selection.By == SELECT_BY_LOCATION;
            if (!knownKind || selection.Value.empty() || matching.size() > 1) {
                CloseDevice();
                throw INVALID_ARGUMENT;
            }
            if (matching.size() == 1) chosen = attached[matching.front()];
        } else if (chosen->Path.empty()) {
            CloseDevice();
            throw INVALID_ARGUMENT;
        }

        const int failure = chosen ? OpenListed(*chosen) : static_cast<int>(NOT_CONNECTED);
        workerPause->events.OpenFailed(failure);
        SetConnectionState(failure == 0 ? ConnectionState::Connected : ConnectionState::NotConnected);
        if (!StartWorker()) {
            SetConnectionState(ConnectionState::NotConnected);
            CloseDevice();
            throw UNKNOWN_ERROR;
        }
        if (failure == 0) return 0;
        // A permission problem does not go away by waiting; an absent keypad may come. The
        // worker's last attempt says why it did not.
        if (failure != ACCESS_DENIED && workerPause->events.WaitUntilConnected(timeout)) return 0;
        throw static_cast<RETURN_CODES>(workerPause->events.LastOpenFailure());
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
