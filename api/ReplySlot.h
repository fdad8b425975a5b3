// The hand-over of a reply from the worker to the waiting operation: the reply slot and the
// reply counter, and the one place that decides whether a reply completes the waiting request.
//
// An exchange arms the slot before it queues its request, and the worker says when it sends
// that request; only a reply dispatched after that can complete the exchange. So a reply that
// was already on its way (a second reply in one report, a late one) never completes an exchange
// whose own frame has not gone out yet. Beyond that the rule depends on how the keypad was opened:
//   AnyReply  (InitialiseBrellUSBDevice) any reply record completes the waiting operation, and
//             nothing else ends the wait but the time-out;
//   OwnType   (opened by selection) only a reply of the type the operation waits for, complete
//             enough to be read, completes it; other types are dropped and counted; a NAK, an
//             unreadable reply or the loss of the keypad ends the wait at once with a code.
// The slot's state is guarded by its mutex, held only for a few assignments; the counter is
// changed under it as well, so that the counter never says more than the slot holds.
#ifndef VELNOR_REPLYSLOT_H
#define VELNOR_REPLYSLOT_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"

namespace velnor {

class ReplySlot {
public:
    enum class Rule { AnyReply, OwnType };

    // counter: the object's reply counter, which callers poll.
    ReplySlot(std::atomic<std::int32_t>& counter, Rule rule) : counter_(counter), rule_(rule) {}
    ReplySlot(const ReplySlot&) = delete;
    ReplySlot& operator=(const ReplySlot&) = delete;

    Rule GetRule() const { return rule_; }

    // Caller: a new exchange waits for a reply of this type; clears the counter and any earlier
    // failure. Returns the ticket the request carries to the worker.
    std::uint64_t Arm(std::int32_t type);
    // Worker: the request with this ticket is being written now.
    void Sent(std::uint64_t ticket);

    // Worker, for each reply record a handler built from the header.
    enum class Offered { Completes, Kept, Dropped, Unreadable };
    Offered Offer(const MessageHeader& header, std::unique_ptr<MessageCommand> record);
    // Worker: a NAK, a frame whose header does not decode, the request with this ticket that
    // could not be written (it never reached the keypad), the keypad lost (queued requests
    // dropped with it).
    void OnNak();
    void OnUndecodable();
    void OnWriteFailed(std::uint64_t ticket);
    void OnLost();

    // Caller: the code that ended the wait without a reply (0 while there is none).
    std::int32_t Failure() const { return failure_.load(std::memory_order_acquire); }
    // Caller: takes the record out, leaving the slot empty. (Inline: the project's tests look
    // into the slot of the shipped library.)
    std::unique_ptr<MessageCommand> Take() {
        std::lock_guard lock(mutex_);
        return std::move(record_);
    }
    bool Holds() const {
        std::lock_guard lock(mutex_);
        return record_ != nullptr;
    }
    // Replies of another type than awaited, dropped (OwnType only).
    std::uint64_t Dropped() const { return dropped_.load(); }

private:
    void FailLocked(std::int32_t code);  // with mutex_ held

    std::atomic<std::int32_t>& counter_;
    const Rule rule_;
    mutable std::mutex mutex_;
    std::unique_ptr<MessageCommand> record_;  // guarded by mutex_
    std::uint64_t ticket_ = 0;                // the armed exchange's; guarded by mutex_
    bool sent_ = true;                        // its request has gone out (true while none waits)
    std::int32_t awaited_ = 0;                // the type it waits for; guarded by mutex_
    std::atomic<std::int32_t> failure_{0};    // written under mutex_; polled by the caller
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace velnor

#endif
