// The keypad itself shows a station's result: its LED goes dark and back, 3 times slowly for a
// keypad that holds the file (updated or up to date), 8 times quickly for any failure. Then
// its LED level is set back and its status read, to check that its RAM holds what its flash
// does. The feedback never writes flash and never changes the result.
#ifndef VELNOR_CLI_STATION_FEEDBACK_H
#define VELNOR_CLI_STATION_FEEDBACK_H

#include <atomic>
#include <optional>

#include <velnor/PlixoApi.h>

#include "../Result.h"
#include "../Settings.h"

namespace velnorcli {

enum class Shown { Good, Failed };

// The blink pattern: how many times, and how long dark and lit each time.
struct BlinkPattern {
    int times;
    int darkMs;
    int litMs;
};
BlinkPattern PatternOf(Shown shown);

// Opens `keypad` (as attached now), blinks the pattern, sets the LED level back to what `flash`
// holds (none: a keypad nothing was written to, whose status is read first) and reads its status: a failure when it stopped answering, or when its
// RAM differs from `flash` afterwards (the message says which field). Stops early, with the LED
// level set back, when *stop becomes true.
Done ShowResult(const KEYPAD_ENTRY& keypad, Shown shown, const std::optional<Settings>& flash, const std::atomic<bool>* stop);

}  // namespace velnorcli

#endif
