#include "MessageHeader.h"

#include <algorithm>

#include "HexText.h"
#include "MessageIncoming.h"

namespace velnor {

bool MessageHeader::ParseHeader(const MessageIncoming& incoming) {
    if (incoming.status == MessageIncoming::Ack) {
        type = kAckType;
        return true;
    }
    if (incoming.status == MessageIncoming::Nak) {
        type = kNakType;
        return true;
    }
    return ParseText(incoming.text.data(), incoming.text.size());
}

bool MessageHeader::ParseText(const std::uint8_t* text, std::size_t textLength) {
    try {
        type = 0;
        length = 0;
        carried = 0;
        if (text == nullptr || textLength < 3) throw TEXT_TOO_SHORT;
        const std::span<const std::uint8_t> characters(text, textLength);
        std::uint8_t decoded = 0;
        if (HexToBytes(characters.subspan(0, 2), 2, std::span(&decoded, 1)) == 0) throw BAD_TYPE;
        type = decoded;
        if (textLength < 4 || HexToBytes(characters.subspan(2, 2), 2, std::span(&decoded, 1)) == 0) {
            throw BAD_LENGTH;
        }
        length = decoded;
        // A text shorter than its length field announces: copy what is there and zero the rest
        // of the announced length, so that no byte of an earlier message passes for this one's.
        const std::size_t announced = static_cast<std::size_t>(length);
        const std::size_t present = std::min(announced, textLength - 4);
        std::copy_n(text + 4, present, data.begin());
        carried = static_cast<std::int32_t>(present);
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(present),
                  data.begin() + static_cast<std::ptrdiff_t>(announced), std::uint8_t{0});
        return true;
    } catch (MH_ERROR code) {
        errorCode = code;
        return code < kErrorBoundary;
    } catch (...) {
        errorCode = -1;
        return false;
    }
}

bool HeaderDecodes(const MessageIncoming& incoming) {
    if (incoming.status == MessageIncoming::Ack || incoming.status == MessageIncoming::Nak) return true;
    std::uint8_t decoded[2];
    return incoming.text.size() >= 4 && HexToBytes(std::span(incoming.text).subspan(0, 4), 4, decoded) == 2;
}

}  // namespace velnor
