// One queued keypad operation. The request owns a copy of its byte argument, so that the
// worker never reads a caller's memory after the operation has returned.
#ifndef VELNOR_DEVICEREQUEST_H
#define VELNOR_DEVICEREQUEST_H

#include <cstdint>

#include "Bytes.h"

namespace velnor {

// The kind of a request is the command byte of its frame.
enum RequestKind : std::int32_t {
    kStatus = 1,
    kLedLevel = 2,
    kBuzzer = 4,
    kCodeTable = 5,
    kBuzzerPeriod = 6,
    kKeypadTable = 7,
    kWriteDefaultToFlash = 9,
    kResetToFactoryDefault = 10,
    kOption = 11,
    kStartBsl = 12,
    kSerialNumber = 14,
    kJackStatus = 15,
};

struct DeviceRequest {
    std::int32_t kind = 0;
    std::int32_t value = 0;
    Bytes data;  // the code table, or the serial number text without its terminating zero
    std::uint64_t ticket = 0;  // which exchange waits for its reply (see ReplySlot)
};

// True for the kinds the worker turns into a frame; 3, 8, 13 and numbers outside 1 to 15 are
// dropped unsent.
constexpr bool IsSentKind(std::int32_t kind) {
    return kind >= 1 && kind <= 15 && kind != 3 && kind != 8 && kind != 13;
}

}  // namespace velnor

#endif
