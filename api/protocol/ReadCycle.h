// The read cycle over the bytes of one input report: finished messages (a good frame, ACK,
// NAK) go to the inbound queue, a frame with a bad checksum is dropped and the rest of the
// report is looked at by a fresh assembler, an unfinished frame waits for the next report.
#ifndef VELNOR_READCYCLE_H
#define VELNOR_READCYCLE_H

#include <deque>
#include <memory>

#include "Bytes.h"
#include "MessageIncoming.h"

namespace velnor {

using InboundQueue = std::deque<std::unique_ptr<MessageIncoming>>;

// receiveBuffer holds the bytes of the report just read; it is empty afterwards, and current
// is never none.
void RunReadCycle(Bytes& receiveBuffer, std::unique_ptr<MessageIncoming>& current, InboundQueue& inbound);

}  // namespace velnor

#endif
