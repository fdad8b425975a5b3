// The device side: one attached keypad opened through its own PlixoApi object (opened by
// selection, so it prints nothing and tells the truth).
#ifndef VELNOR_CLI_KEYPAD_H
#define VELNOR_CLI_KEYPAD_H

#include <memory>
#include <optional>
#include <string>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"
#include "KeypadFailure.h"
#include "Result.h"
#include "RestorePlan.h"

namespace velnorcli {

inline constexpr int kOpenTimeoutMs = 3000;
inline constexpr int kReplyTimeoutMs = 3000;

class Keypad {
public:
    explicit Keypad(KEYPAD_ENTRY entry);
    ~Keypad();
    Keypad(const Keypad&) = delete;
    Keypad& operator=(const Keypad&) = delete;

    const KEYPAD_ENTRY& Entry() const { return entry_; }
    // The keypad as it is attached now: its path changes when it re-enumerates after a restart.
    KEYPAD_ENTRY Current() const;
    Done Open(int timeoutMs = kOpenTimeoutMs);
    Result<DEVICE_INFO> ReadStatus(int timeoutMs = kReplyTimeoutMs);

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

}  // namespace velnorcli

#endif
