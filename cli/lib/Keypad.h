// The device side: one attached keypad opened through its own PlixoApi object (opened by
// selection, so it prints nothing and tells the truth), and the same for many keypads at once,
// one object and thread each.
#ifndef VELNOR_CLI_KEYPAD_H
#define VELNOR_CLI_KEYPAD_H

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"
#include "RestorePlan.h"

namespace velnorcli {

inline constexpr int kOpenTimeoutMs = 3000;
inline constexpr int kReplyTimeoutMs = 3000;

// What a library result means for the user: the exit status and a message naming the keypad
// and the step ("reading the status").
Failure FailureOf(int code, const KEYPAD_ENTRY& keypad, const std::string& step);

class Keypad {
public:
    explicit Keypad(KEYPAD_ENTRY entry);
    ~Keypad();
    Keypad(const Keypad&) = delete;
    Keypad& operator=(const Keypad&) = delete;

    const KEYPAD_ENTRY& Entry() const { return entry_; }
    // The keypad as it is attached now: its path changes when it re-enumerates after a restart.
    KEYPAD_ENTRY Current() const;
    std::optional<Failure> Open(int timeoutMs = kOpenTimeoutMs);
    std::optional<Failure> ReadStatus(DEVICE_INFO& status, int timeoutMs = kReplyTimeoutMs);

    // Each of these is one library call and returns its code (0, or a PlixoApi::RETURN_CODES).
    int Status(DEVICE_INFO& status);
    int Write(Field field, const Target& target);  // one setting from the target into RAM
    int Flash();
    int Reset();
    bool Connected() const;
    int WaitLeft(int timeoutMs);
    int WaitBack(int timeoutMs);

private:
    KEYPAD_ENTRY entry_;
    std::unique_ptr<PlixoApi> api_;
};

// The keypads attached, or the failure to list them.
std::optional<Failure> ListAttached(std::vector<KEYPAD_ENTRY>& keypads);

struct StatusReading {
    KEYPAD_ENTRY keypad;
    std::optional<DEVICE_INFO> status;  // none: `failure` says why
    Failure failure;
};

// Opens each keypad and reads its status, all at once (one object and one thread each).
std::vector<StatusReading> ReadStatuses(const std::vector<KEYPAD_ENTRY>& keypads);

// Runs work(i) for i in [0, count) on a thread each and waits for all.
void InParallel(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace velnorcli

#endif
