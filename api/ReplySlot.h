// The reply slot: hands the latest reply record from the worker to the waiting operation.
// Both sides exchange the whole pointer in one atomic step, so a late reply can never free a
// record the caller is reading, and no record is freed twice.
#ifndef VELNOR_REPLYSLOT_H
#define VELNOR_REPLYSLOT_H

#include <atomic>
#include <memory>

#include "protocol/MessageCommand.h"

namespace velnor {

class ReplySlot {
public:
    ReplySlot() = default;
    ReplySlot(const ReplySlot&) = delete;
    ReplySlot& operator=(const ReplySlot&) = delete;
    ~ReplySlot() { Take(); }

    // Worker: stores the record; a record still in the slot is freed.
    void Put(std::unique_ptr<MessageCommand> record) {
        std::unique_ptr<MessageCommand> replaced(slot_.exchange(record.release(), std::memory_order_acq_rel));
    }
    // Caller: takes the record out, leaving the slot empty.
    std::unique_ptr<MessageCommand> Take() {
        return std::unique_ptr<MessageCommand>(slot_.exchange(nullptr, std::memory_order_acq_rel));
    }
    bool Holds() const { return slot_.load(std::memory_order_acquire) != nullptr; }

private:
    std::atomic<MessageCommand*> slot_{nullptr};  // owning; see Put and Take
};

}  // namespace velnor

#endif
