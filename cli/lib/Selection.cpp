#include "Selection.h"

#include <algorithm>

#include "Text.h"

namespace velnorcli {

namespace {

bool Matches(const KEYPAD_ENTRY& keypad, const Selector& selector, const SerialReading* serial) {
    switch (selector.by) {
    case SelectBy::None: return true;
    case SelectBy::Path: return keypad.Path == selector.value;
    case SelectBy::UsbSerial: return keypad.UsbSerial == selector.value;
    case SelectBy::Location: return keypad.Location == selector.value;
    case SelectBy::Serial:
        return serial != nullptr && serial->serial &&
               TrimmedRight(*serial->serial) == TrimmedRight(selector.value);
    }
    return false;
}

}  // namespace

std::string OptionOf(SelectBy by) {
    switch (by) {
    case SelectBy::Path: return "--path";
    case SelectBy::UsbSerial: return "--usb-serial";
    case SelectBy::Location: return "--location";
    case SelectBy::Serial: return "--serial";
    case SelectBy::None: break;
    }
    return "";
}

std::string KeypadName(const KEYPAD_ENTRY& keypad) {
    return EscapeControl(keypad.Location.empty() ? keypad.Path : keypad.Location);
}

std::string KeypadIdentityName(const KEYPAD_ENTRY& keypad) {
    return EscapeControl(!keypad.UsbSerial.empty() ? keypad.UsbSerial : !keypad.Location.empty() ? keypad.Location : keypad.Path);
}

std::string KeypadLines(const std::vector<KEYPAD_ENTRY>& keypads, const std::vector<std::size_t>& which) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t index : which) {
        const KEYPAD_ENTRY& keypad = keypads[index];
        rows.push_back({"  " + EscapeControl(keypad.Path), "location " + (keypad.Location.empty() ? "-" : EscapeControl(keypad.Location)),
                        "usb serial " + (keypad.UsbSerial.empty() ? "-" : EscapeControl(keypad.UsbSerial))});
    }
    return AlignColumns(rows);
}

Result<std::vector<std::size_t>> Choose(const std::vector<KEYPAD_ENTRY>& attached, const Selector& selector,
              const std::vector<SerialReading>& serials) {
    if (selector.by != SelectBy::None && selector.value.empty()) {
        return Failure{kUsage, "an empty " + OptionOf(selector.by) + " selects no keypad"};
    }
    if (attached.empty()) return Failure{kNoKeypad, "no keypad is attached", kFindOutWhy};
    std::vector<std::size_t> matching;
    for (std::size_t i = 0; i < attached.size(); ++i) {
        const SerialReading* serial = i < serials.size() ? &serials[i] : nullptr;
        if (Matches(attached[i], selector, serial)) matching.push_back(i);
    }
    const std::string option = OptionOf(selector.by) + " " + EscapeControl(selector.value);
    if (matching.empty()) {
        // Keypads whose serial number could not be read might be the one: say why, with the
        // worst of their statuses.
        Failure unread{kNoKeypad, "no keypad matches " + option, "run 'velnor list' to see the attached keypads"};
        for (std::size_t i = 0; selector.by == SelectBy::Serial && i < serials.size() && i < attached.size(); ++i) {
            if (serials[i].serial) continue;
            unread.status = std::max(unread.status, serials[i].failure.status);
            unread.message += "\n  " + KeypadName(attached[i]) + ": " + serials[i].failure.message;
        }
        return unread;
    }
    if (selector.all || matching.size() == 1) return matching;
    const std::string what = selector.by == SelectBy::None ? "several keypads are attached" : "several keypads match " + option;
    std::string lines = KeypadLines(attached, matching);
    lines.pop_back();  // the last line end
    std::string choices;
    for (std::size_t index : matching) {
        const KEYPAD_ENTRY& keypad = attached[index];
        choices += (choices.empty() ? "" : " or ") + (keypad.Location.empty() ? "--path " + EscapeControl(keypad.Path)
                                                                               : "--location " + EscapeControl(keypad.Location));
    }
    return Failure{kSeveralKeypads, what + ":\n" + lines,
                   "choose one with " + choices + " (--usb-serial and --serial select too)"};
}

}  // namespace velnorcli
