#include "ReplySlot.h"

#include "velnor/PlixoApi.h"

namespace velnor {

std::uint64_t ReplySlot::Arm(std::int32_t type) {
    std::lock_guard lock(mutex_);
    counter_.store(0, std::memory_order_release);
    failure_.store(0, std::memory_order_release);
    awaited_ = type;
    sent_ = false;
    return ++ticket_;
}

void ReplySlot::Sent(std::uint64_t ticket) {
    std::lock_guard lock(mutex_);
    if (ticket == ticket_) sent_ = true;
}

ReplySlot::Offered ReplySlot::Offer(const MessageHeader& header, std::unique_ptr<MessageCommand> record) {
    std::lock_guard lock(mutex_);
    if (rule_ == Rule::OwnType) {
        if (header.type != awaited_ || !sent_) {
            ++dropped_;
            return Offered::Dropped;
        }
        if (!record->FitsAnnouncedLength(header)) {
            FailLocked(PlixoApi::INVALID_REPLY);
            return Offered::Unreadable;
        }
    }
    // The record goes into the slot before the counter moves, so a waiting operation that sees
    // the counter finds it there; a replaced record is freed here.
    record_ = std::move(record);
    if (!sent_) return Offered::Kept;
    counter_.fetch_add(1, std::memory_order_acq_rel);
    return Offered::Completes;
}

void ReplySlot::OnNak() {
    std::lock_guard lock(mutex_);
    if (rule_ == Rule::OwnType && sent_) FailLocked(PlixoApi::REFUSED);
}

void ReplySlot::OnUndecodable() {
    std::lock_guard lock(mutex_);
    if (rule_ == Rule::OwnType && sent_) FailLocked(PlixoApi::INVALID_REPLY);
}

void ReplySlot::OnWriteFailed(std::uint64_t ticket) {
    std::lock_guard lock(mutex_);
    if (rule_ == Rule::OwnType && ticket == ticket_) FailLocked(PlixoApi::WRITE_FAILED);
}

void ReplySlot::OnLost() {
    std::lock_guard lock(mutex_);
    if (rule_ == Rule::OwnType) FailLocked(PlixoApi::CONNECTION_LOST);
}

void ReplySlot::FailLocked(std::int32_t code) {
    if (failure_.load(std::memory_order_relaxed) == 0) failure_.store(code, std::memory_order_release);
}

}  // namespace velnor
