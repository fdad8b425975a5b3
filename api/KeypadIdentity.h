// What "the same keypad" means after it was unplugged or restarted, when it comes back under a
// new path: the one with the same USB serial string when it has a non-empty one of its own,
// else the one at the same USB location, else the one at the same path.
#ifndef VELNOR_KEYPADIDENTITY_H
#define VELNOR_KEYPADIDENTITY_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "velnor/PlixoApi.h"

namespace velnor {

struct KeypadIdentity {
    std::string usbSerial;  // empty: not known, or not unique among the keypads
    std::string location;
    std::string path;
    bool operator==(const KeypadIdentity&) const = default;
};

// The keypads the selection names, by index into `keypads`.
std::vector<std::size_t> MatchSelection(const KEYPAD_SELECTION& selection, const std::vector<KEYPAD_ENTRY>& keypads);

// What is known of a selected keypad before it was ever found.
KeypadIdentity IdentityOfSelection(const KEYPAD_SELECTION& selection);

// The identity of the keypad just opened, from its entry: its USB serial counts only when no
// other keypad attached has the same one.
KeypadIdentity IdentityOfEntry(const KEYPAD_ENTRY& opened, const std::vector<KEYPAD_ENTRY>& keypads);

// The keypad among `keypads` that is the one identified; none when it is not there, or when
// the identity does not tell it from another one.
std::optional<std::size_t> FindKeypad(const KeypadIdentity& identity, const std::vector<KEYPAD_ENTRY>& keypads);

}  // namespace velnor

#endif
