#include "Feedback.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "../Keypad.h"
#include "../KeypadFailure.h"
#include "../Selection.h"

namespace velnorcli {

namespace {

// The level it is lit at while it blinks when its flash holds 0 (dark): a blink must show.
constexpr std::uint8_t kLitWhenDark = 5;

// Sleeps until `until` in slices of at most 100 ms; false when *stop became true.
bool PauseUntil(std::chrono::steady_clock::time_point until, const std::atomic<bool>* stop) {
    for (;;) {
        if (stop != nullptr && stop->load()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(100)));
    }
}

Target WithLedLevel(std::uint8_t level) {
    Target target;
    target.settings.ledLevel = level;
    return target;
}

}  // namespace

// The library's worker waits 100 ms for a request after each reply, then reads the keypad for
// up to 300 ms, and a request waits that read out: a quick blink's writes come within 100 ms of
// each other so that they go at once, a slow blink's 400 ms apart, when the read is over.
constexpr int kThereNowMs = 100;

BlinkPattern PatternOf(Shown shown) {
    return shown == Shown::Good ? BlinkPattern{3, 400, 400} : BlinkPattern{8, 80, 80};
}

Done ShowResult(const KEYPAD_ENTRY& entry, Shown shown, const std::optional<Settings>& held, const std::atomic<bool>* stop) {
    // Only a keypad that is there now is shown anything: one that is away (pulled, or not yet
    // back from a restart that failed) is not waited for, so that it is a keypad that left and
    // comes back, not one held as shown.
    Keypad keypad(entry);
    if (Done opened = keypad.Open(kThereNowMs); !opened) return opened;
    Settings flash;
    if (held) {
        flash = *held;
    } else {
        const Result<DEVICE_INFO> first = keypad.ReadStatus();
        if (!first) return first.failure();
        flash = SettingsOfKeypad(*first);
    }
    const BlinkPattern pattern = PatternOf(shown);
    const Target dark = WithLedLevel(0);
    const Target lit = WithLedLevel(flash.ledLevel != 0 ? flash.ledLevel : kLitWhenDark);
    // Only the LED level is written, into RAM; a keypad that stops answering ends the blinking.
    // Each change is due at its moment from the start, so that a late write shortens the
    // moment after it and the pattern keeps its pace.
    auto due = std::chrono::steady_clock::now();
    for (int i = 0; i < pattern.times; ++i) {
        if (const int result = keypad.Write(Field::LedLevel, dark); result != 0) return FailureOf(result, entry, "blinking its LED");
        due += std::chrono::milliseconds(pattern.darkMs);
        if (!PauseUntil(due, stop)) break;
        if (const int result = keypad.Write(Field::LedLevel, lit); result != 0) return FailureOf(result, entry, "blinking its LED");
        due += std::chrono::milliseconds(pattern.litMs);
        if (!PauseUntil(due, stop)) break;
    }
    if (const int result = keypad.Write(Field::LedLevel, WithLedLevel(flash.ledLevel)); result != 0) {
        return FailureOf(result, entry, "setting its LED level back");
    }
    const Result<DEVICE_INFO> status = keypad.ReadStatus();
    if (!status) return status.failure();
    const std::vector<Difference> differences = Compare(SettingsOfKeypad(*status), flash);
    if (!differences.empty()) {
        return Failure(kDifferent, "keypad " + KeypadName(entry) + " holds another " +
                                       std::string(FieldName(differences.front().field)) + " in RAM than in flash after the blinking");
    }
    return {};
}

}  // namespace velnorcli
