// The assembler of one inbound frame from the bytes of input reports.
#ifndef VELNOR_MESSAGEINCOMING_H
#define VELNOR_MESSAGEINCOMING_H

#include <cstddef>
#include <cstdint>

#include "Bytes.h"

namespace velnor {

class MessageIncoming {
public:
    // Raised and caught inside ProcessInput; both values lie below the boundary, so they drop
    // the frame and leave the result true.
    enum ERROR_CODE : std::int32_t {
        FRAME_TOO_LONG = -9101,      // a continued frame outgrew what a header can announce
        ETX_OUTSIDE_FRAME = -9100,   // the report's ETX index points outside its bytes
    };
    static constexpr std::int32_t kErrorBoundary = -9099;

    enum IncomingStatus : std::int32_t { Pending = 0, FrameOk = 1, ChecksumBad = 2, Ack = 3, Nak = 4 };
    enum AssemblerState : std::int32_t { WaitStx = 0, InFrame = 1, EtxSeen = 2 };

    // The longest frame text: four header characters and the 255 bytes one length field can
    // announce. A frame continued over several reports is dropped as soon as its text holds
    // more than its own length field announces (or than this, while that cannot be read).
    static constexpr std::size_t kMaxTextLength = 4 + 255;

    // Consumes bytes from the front of receiveBuffer until a message is finished or the buffer
    // is empty; the status then says what is complete. True unless something unexpected failed.
    bool ProcessInput(Bytes& receiveBuffer);

    std::int32_t errorCode = 0;
    IncomingStatus status = Pending;
    Bytes text;  // the bytes between STX and ETX collected so far
    std::uint8_t checksum = 0;
    AssemblerState state = WaitStx;

private:
    void Run(Bytes& buffer);
    // Collects the frame text of one report; true when its ETX was seen.
    bool TakeText(Bytes& buffer, std::size_t textStart, bool continuation);
    void CheckChecksum(Bytes& buffer);
    std::size_t LongestTextSoFar() const;
};

}  // namespace velnor

#endif
