// The decoded type, length and data of one inbound frame.
#ifndef VELNOR_MESSAGEHEADER_H
#define VELNOR_MESSAGEHEADER_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace velnor {

class MessageIncoming;

class MessageHeader {
public:
    // Raised and caught inside ParseText; all lie below the boundary, so the result stays true.
    enum MH_ERROR : std::int32_t {
        TEXT_TOO_SHORT = -8999,  // fewer than 3 characters
        BAD_TYPE = -8997,        // the two type characters do not decode
        BAD_LENGTH = -8996,      // the two length characters do not decode
    };
    static constexpr std::int32_t kErrorBoundary = -8995;

    static constexpr std::int32_t kAckType = 16;
    static constexpr std::int32_t kNakType = 17;

    // Ack gives type 16 and Nak 17 without touching the other fields; anything else is
    // ParseText over the incoming's text.
    bool ParseHeader(const MessageIncoming& incoming);
    bool ParseText(const std::uint8_t* text, std::size_t length);

    std::int32_t errorCode = 0;  // the last caught MH_ERROR value, or -1; never cleared
    std::int32_t type = 0;
    std::int32_t length = 0;
    std::int32_t carried = 0;                // data bytes the text held, at most `length`
    std::array<std::uint8_t, 1024> data{};  // not cleared between messages
};

// False for a frame whose type or length characters are not hexadecimal (ACK and NAK decode).
bool HeaderDecodes(const MessageIncoming& incoming);

}  // namespace velnor

#endif
