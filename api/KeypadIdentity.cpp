#include "KeypadIdentity.h"

#include <algorithm>

namespace velnor {

namespace {

using Field = std::string KEYPAD_ENTRY::*;

std::vector<std::size_t> Having(const std::vector<KEYPAD_ENTRY>& keypads, Field field, const std::string& value,
                                 const std::vector<std::size_t>& among) {
    std::vector<std::size_t> found;
    for (std::size_t index : among) {
        if (keypads[index].*field == value) found.push_back(index);
    }
    return found;
}

std::vector<std::size_t> All(const std::vector<KEYPAD_ENTRY>& keypads) {
    std::vector<std::size_t> all(keypads.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return all;
}

Field FieldOf(KEYPAD_SELECTOR by) {
    switch (by) {
    case SELECT_BY_USB_SERIAL: return &KEYPAD_ENTRY::UsbSerial;
    case SELECT_BY_LOCATION: return &KEYPAD_ENTRY::Location;
    case SELECT_BY_PATH: break;
    }
    return &KEYPAD_ENTRY::Path;
}

}  // namespace

std::vector<std::size_t> MatchSelection(const KEYPAD_SELECTION& selection, const std::vector<KEYPAD_ENTRY>& keypads) {
    if (selection.Value.empty()) return {};
    return Having(keypads, FieldOf(selection.By), selection.Value, All(keypads));
}

KeypadIdentity IdentityOfSelection(const KEYPAD_SELECTION& selection) {
    KeypadIdentity identity;
    switch (selection.By) {
    case SELECT_BY_USB_SERIAL: identity.usbSerial = selection.Value; break;
    case SELECT_BY_LOCATION: identity.location = selection.Value; break;
    case SELECT_BY_PATH: identity.path = selection.Value; break;
    }
    return identity;
}

KeypadIdentity IdentityOfEntry(const KEYPAD_ENTRY& opened) {
    return KeypadIdentity{opened.UsbSerial, opened.Location, opened.Path};
}

std::optional<std::size_t> FindKeypad(const KeypadIdentity& identity, const std::vector<KEYPAD_ENTRY>& keypads) {
    std::vector<std::size_t> found = All(keypads);
    if (!identity.location.empty()) found = Having(keypads, &KEYPAD_ENTRY::Location, identity.location, found);
    if (!identity.usbSerial.empty()) found = Having(keypads, &KEYPAD_ENTRY::UsbSerial, identity.usbSerial, found);
    if (identity.location.empty() && identity.usbSerial.empty()) {
        if (identity.path.empty()) return std::nullopt;
        found = Having(keypads, &KEYPAD_ENTRY::Path, identity.path, found);
    }
    if (found.size() != 1) return std::nullopt;
    return found.front();
}

}  // namespace velnor
