// Inbound report layout: [0] report id, [1] E = index of the ETX in this report, [2] STX (or a
// one-byte ACK/NAK), frame text, ETX at E, checksum at E + 1, padding.
//
// A frame that does not end in its report (the byte at E is not ETX) continues in the next
// report, which is laid out the same way without the STX: [0] report id, [1] E, the text goes
// on from offset 2 up to the ETX at E. The keypad's replies all fit in one report, so this only
// ever happens with a faulty keypad; the text is bounded so that it cannot grow without limit,
// and a report whose ETX index merely lies (its frame is all there) does not swallow the next.
#include "MessageIncoming.h"

#include <algorithm>

#include "HexText.h"

namespace velnor {

bool MessageIncoming::ProcessInput(Bytes& receiveBuffer) {
    try {
        Run(receiveBuffer);
        return true;
    } catch (ERROR_CODE code) {
        // The frame is dropped with the rest of its report; the next report starts afresh.
        errorCode = code;
        text.clear();
        state = WaitStx;
        receiveBuffer.clear();
        return code < kErrorBoundary;
    } catch (...) {
        errorCode = -1;
        receiveBuffer.clear();
        return false;
    }
}

void MessageIncoming::Run(Bytes& buffer) {
    while (!buffer.empty()) {
        switch (state) {
        case WaitStx: {
            if (buffer.size() > 2 && buffer[2] == kNak) {
                status = Nak;
                buffer.clear();
                return;
            }
            if (buffer.size() > 2 && buffer[2] == kAck) {
                status = Ack;
                buffer.clear();
                return;
            }
            const auto stx = std::find(buffer.begin(), buffer.end(), kStx);
            if (stx == buffer.end()) {
                buffer.clear();
                return;
            }
            const auto textStart = static_cast<std::size_t>(stx - buffer.begin()) + 1;
            state = InFrame;
            if (textStart >= buffer.size()) {
                buffer.clear();
                return;
            }
            if (!TakeText(buffer, textStart, false)) return;
            break;
        }
        case InFrame:
            if (!TakeText(buffer, 2, true)) return;
            break;
        case EtxSeen:
            CheckChecksum(buffer);
            return;
        }
    }
}

bool MessageIncoming::TakeText(Bytes& buffer, std::size_t textStart, bool continuation) {
    if (buffer.size() < 2) {
        buffer.clear();
        return false;
    }
    const std::size_t etxIndex = buffer[1];
    if (etxIndex >= buffer.size()) throw ETX_OUTSIDE_FRAME;

    if (buffer[etxIndex] != kEtx) {
        // No end in this report: keep what it carries for the next one.
        if (textStart < buffer.size()) text.insert(text.end(), buffer.begin() + textStart, buffer.end());
        buffer.clear();
        if (text.size() > LongestTextSoFar()) throw FRAME_TOO_LONG;
        return false;
    }

    // A first report's text is the E - 3 bytes after STX; a continuation's runs from offset 2
    // to the ETX. Neither may reach past the bytes received.
    if (etxIndex < (continuation ? 2u : 3u)) throw ETX_OUTSIDE_FRAME;
    const std::size_t count = continuation ? etxIndex - 2 : etxIndex - 3;
    const std::size_t end = std::min(textStart + count, buffer.size());
    if (textStart < end) text.insert(text.end(), buffer.begin() + textStart, buffer.begin() + end);
    if (text.size() > kMaxTextLength) throw FRAME_TOO_LONG;
    state = EtxSeen;
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(etxIndex + 1));
    return true;
}

std::size_t MessageIncoming::LongestTextSoFar() const {
    std::uint8_t announced = 0;
    if (text.size() < 4 || HexToBytes(std::span(text).subspan(2, 2), 2, std::span(&announced, 1)) == 0) {
        return kMaxTextLength;
    }
    return 4 + std::size_t{announced};
}

void MessageIncoming::CheckChecksum(Bytes& buffer) {
    checksum = kStx;
    for (std::uint8_t byte : text) checksum ^= byte;
    checksum ^= kEtx;
    if (buffer.front() == checksum) {
        status = FrameOk;
        buffer.clear();
        return;
    }
    // The rest of the report, starting with the received checksum byte, is looked at afresh.
    status = ChecksumBad;
    state = WaitStx;
}

}  // namespace velnor
