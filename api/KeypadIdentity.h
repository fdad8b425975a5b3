// What "the same keypad" means after it restarted or was unplugged, when it comes back under a
// new path: the one at the same USB location when it had one, AND with the same USB serial
// string when it had one (a keypad does not change port by restarting, and keypads of one maker
// often share a serial string, so neither alone is proof); the one at the same path when
// neither is known.
#ifndef VELNOR_KEYPADIDENTITY_H
#define VELNOR_KEYPADIDENTITY_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "velnor/PlixoApi.h"

namespace velnor {

struct KeypadIdentity {
    std::string usbSerial;  // empty: the keypad has none, or it is not known yet
    std::string location;
    std::string path;
    bool operator==(const KeypadIdentity&) const = default;
};

// The keypads the selection names, by index into `keypads`.
std::vector<std::size_t> MatchSelection(const KEYPAD_SELECTION& selection, const std::vector<KEYPAD_ENTRY>& keypads);

// What is known of a selected keypad before it was ever found.
KeypadIdentity IdentityOfSelection(const KEYPAD_SELECTION& selection);

// The identity of the keypad just opened, from its entry.
KeypadIdentity IdentityOfEntry(const KEYPAD_ENTRY& opened);

// The keypad among `keypads` that is the one identified; none when it is not there, or when
// the identity does not tell it from another one.
std::optional<std::size_t> FindKeypad(const KeypadIdentity& identity, const std::vector<KEYPAD_ENTRY>& keypads);

}  // namespace velnor

#endif
