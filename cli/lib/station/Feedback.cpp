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

// Sleeps `ms` in slices of at most 100 ms; false when *stop became true.
bool Pause(int ms, const std::atomic<bool>* stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
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

BlinkPattern PatternOf(Shown shown) {
    return shown == Shown::Good ? BlinkPattern{3, 400, 400} : BlinkPattern{8, 100, 100};
}

Done ShowResult(const KEYPAD_ENTRY& entry, Shown shown, const Settings& flash, const std::atomic<bool>* stop) {
    Keypad keypad(entry);
    if (Done opened = keypad.Open(); !opened) return opened;
    const BlinkPattern pattern = PatternOf(shown);
    const Target dark = WithLedLevel(0);
    const Target lit = WithLedLevel(flash.ledLevel != 0 ? flash.ledLevel : kLitWhenDark);
    // Only the LED level is written, into RAM; a keypad that stops answering ends the blinking.
    for (int i = 0; i < pattern.times; ++i) {
        if (const int result = keypad.Write(Field::LedLevel, dark); result != 0) return FailureOf(result, entry, "blinking its LED");
        if (!Pause(pattern.darkMs, stop)) break;
        if (const int result = keypad.Write(Field::LedLevel, lit); result != 0) return FailureOf(result, entry, "blinking its LED");
        if (!Pause(pattern.litMs, stop)) break;
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
