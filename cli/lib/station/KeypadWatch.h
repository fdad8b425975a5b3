// What wakes a station: the kernel's device events (a hidraw node added or removed), or, where
// there are none to be had (the simulated keypad, a container without udev), a look every
// 500 ms. Either way the library's listing decides what is attached: a wake-up is only a reason
// to list again.
#ifndef VELNOR_CLI_STATION_KEYPADWATCH_H
#define VELNOR_CLI_STATION_KEYPADWATCH_H

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace velnorcli {

class KeypadWatch {
public:
    virtual ~KeypadWatch() = default;
    // Returns when the attached keypads may have changed, when `limit` has passed, or soon
    // (within about 100 ms) after *stop became true.
    virtual void Wait(std::chrono::milliseconds limit, const std::atomic<bool>* stop) = 0;
    // True when kernel events wake it; false when it looks every 500 ms.
    virtual bool Events() const = 0;
};

inline constexpr std::chrono::milliseconds kLookInterval{500};

// Kernel events through libudev when they can be had here, else the 500 ms look. `why`: when
// there are no events, the reason in words (for the one notice on standard error).
std::unique_ptr<KeypadWatch> WatchKeypads(std::string& why);

// Always the 500 ms look.
std::unique_ptr<KeypadWatch> LookEvery500Ms();

}  // namespace velnorcli

#endif
