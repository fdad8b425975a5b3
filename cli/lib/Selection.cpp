#include "Selection.h"

#include <algorithm>
#include <string_view>
#include <tuple>
#include <utility>

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

// a < b with runs of digits compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && a[endA] == '0') ++endA;  // leading zeros
            while (endB < b.size() && b[endB] == '0') ++endB;
            std::size_t startA = endA;
            std::size_t startB = endB;
            while (endA < a.size() && digit(a[endA])) ++endA;
            while (endB < b.size() && digit(b[endB])) ++endB;
            const std::string_view numberA(a.data() + startA, endA - startA);
            const std::string_view numberB(b.data() + startB, endB - startB);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA;
            j = endB;
        } else if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<std::size_t> PortOrder(const std::vector<KEYPAD_ENTRY>& keypads) {
    std::vector<std::size_t> order(keypads.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keypads](std::size_t x, std::size_t y) {
        const KEYPAD_ENTRY& a = keypads[x];
        const KEYPAD_ENTRY& b = keypads[y];
        if (a.Location.empty() != b.Location.empty()) return b.Location.empty();
        for (const auto& [first, second] : {std::pair(&a.Location, &b.Location), std::pair(&a.Path, &b.Path)}) {
            if (NaturalLess(*first, *second)) return true;
            if (NaturalLess(*second, *first)) return false;
        }
        return std::tie(a.Location, a.Path) < std::tie(b.Location, b.Path);  // 1-02 and 1-2
    });
    return order;
}

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
