// How a PlixoApi object opens its keypad: the design's way (InitialiseBrellUSBDevice: the first
// keypad found, with trace lines), or by selection (one chosen keypad, followed through replugs
// and restarts by its identity, silently), the chosen one given either by a selection or by its
// entry of a listing the caller made.
#ifndef VELNOR_OPENING_H
#define VELNOR_OPENING_H

#include <mutex>
#include <optional>

#include "KeypadIdentity.h"
#include "velnor/PlixoApi.h"

namespace velnor {

class Opening {
public:
    Opening() = default;
    explicit Opening(const KEYPAD_SELECTION& selection) : selection_(selection), identity_(IdentityOfSelection(selection)) {}
    // The keypad of a listing: opened by its path without listing again, then followed by the
    // identity its entry gives.
    Opening(const KEYPAD_SELECTION& selection, const KEYPAD_ENTRY& listed)
        : selection_(selection), listed_(listed), identity_(IdentityOfEntry(listed)) {}

    // Fixed at construction.
    bool BySelection() const { return selection_.has_value(); }
    const KEYPAD_SELECTION& Selection() const { return *selection_; }
    const std::optional<KEYPAD_ENTRY>& Listed() const { return listed_; }

    // The worker, or a caller while the worker is not running or parked, after each open.
    void Opened(const KEYPAD_ENTRY& keypad) {
        std::lock_guard lock(mutex_);
        identity_ = IdentityOfEntry(keypad);
        opened_ = keypad;
    }
    KeypadIdentity Identity() const {
        std::lock_guard lock(mutex_);
        return identity_;
    }
    std::optional<KEYPAD_ENTRY> Opened() const {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    const std::optional<KEYPAD_SELECTION> selection_;
    const std::optional<KEYPAD_ENTRY> listed_;
    mutable std::mutex mutex_;
    KeypadIdentity identity_;              // guarded by mutex_
    std::optional<KEYPAD_ENTRY> opened_;  // guarded by mutex_
};

}  // namespace velnor

#endif
