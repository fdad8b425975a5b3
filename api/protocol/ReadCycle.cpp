#include "ReadCycle.h"

namespace velnor {

void RunReadCycle(Bytes& receiveBuffer, std::unique_ptr<MessageIncoming>& current, InboundQueue& inbound) {
    if (!current) current = std::make_unique<MessageIncoming>();
    while (!receiveBuffer.empty()) {
        current->ProcessInput(receiveBuffer);
        switch (current->status) {
        case MessageIncoming::FrameOk:
        case MessageIncoming::Ack:
        case MessageIncoming::Nak:
            inbound.push_back(std::move(current));
            current = std::make_unique<MessageIncoming>();
            break;
        case MessageIncoming::ChecksumBad:
            current = std::make_unique<MessageIncoming>();
            break;
        case MessageIncoming::Pending:
            break;
        }
    }
}

}  // namespace velnor
