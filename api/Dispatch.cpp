// Inbound messages to reply records: routing by type, and the reply handlers that hand the
// record to the waiting operation.
#include "Boundary.h"
#include "ReplySlot.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"
#include "protocol/MessageRoute.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;
using velnor::MessageCommand;
using velnor::MessageRoute;

bool PlixoApi::DispatchIncoming(const velnor::MessageHeader& header) {
    return CatchAtBoundary(lastError, [&] {
        switch (velnor::RouteOf(header.type)) {
        case MessageRoute::StatusReply:
            return OnStatusReply(header) ? 1 : 0;
        case MessageRoute::JackStatusReply:
            return OnJackStatusReply(header) ? 1 : 0;
        case MessageRoute::PlainReply:
            return OnPlainReply(header) ? 1 : 0;
        case MessageRoute::Acknowledgement:
            return 1;
        case MessageRoute::Unexpected:
            break;
        }
        throw UNEXPECTED_MESSAGE;
    }) == 1;
}

namespace {

// A new record filled by the parser; a parser that fails makes the reply invalid.
std::unique_ptr<MessageCommand> ParsedRecord(const velnor::MessageHeader& header,
                                             bool (MessageCommand::*parse)(const velnor::MessageHeader&)) {
    auto record = std::make_unique<MessageCommand>();
    if (!((*record).*parse)(header)) throw PlixoApi::INVALID_REPLY;
    return record;
}

}  // namespace

bool PlixoApi::OnStatusReply(const velnor::MessageHeader& header) {
    return CatchAtBoundary(lastError, [&] {
        StoreReply(header, ParsedRecord(header, &MessageCommand::ParseStatus));
        return 1;
    }) == 1;
}

bool PlixoApi::OnJackStatusReply(const velnor::MessageHeader& header) {
    return CatchAtBoundary(lastError, [&] {
        StoreReply(header, ParsedRecord(header, &MessageCommand::ParseJackStatus));
        return 1;
    }) == 1;
}

bool PlixoApi::OnPlainReply(const velnor::MessageHeader& header) {
    return CatchAtBoundary(lastError, [&] {
        StoreReply(header, std::make_unique<MessageCommand>());
        return 1;
    }) == 1;
}

// The slot decides whether the record completes the waiting operation (ReplySlot.h).
void PlixoApi::StoreReply(const velnor::MessageHeader& header, std::unique_ptr<MessageCommand> record) {
    if (replySlot->Offer(header, std::move(record)) == velnor::ReplySlot::Offered::Unreadable) throw INVALID_REPLY;
}
