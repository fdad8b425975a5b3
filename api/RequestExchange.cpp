// The request exchange that every keypad operation is made of: queue one request, then poll
// the reply counter every 10 ms until a reply record is stored or the time-out has passed.
#include <chrono>
#include <cstdint>
#include <thread>

#include "ReplySlot.h"
#include "protocol/DeviceRequest.h"
#include "velnor/PlixoApi.h"

void PlixoApi::RequireConnected() const {
    if (connectionState.load() != ConnectionState::Connected) throw NOT_CONNECTED;
}

std::unique_ptr<velnor::MessageCommand> PlixoApi::Exchange(std::unique_ptr<velnor::DeviceRequest> request,
                                                            int timeout) {
    // The counter is cleared before queuing, so that the reply to this request cannot be wiped
    // out; the slot waits for a reply of the request's own type (ReplySlot.h says when any will do).
    request->ticket = replySlot->Arm(request->kind);
    const int queued = QueueRequest(request);
    if (queued != SUCCESS) throw static_cast<RETURN_CODES>(queued);

    // A positive time-out allows ceil(timeout / 10) sleeps; 0 waits without limit; a negative
    // one fails after the first sleep. The slot may end the wait without a reply.
    std::int64_t elapsed = 0;
    while (replyCounter.load(std::memory_order_acquire) == 0) {
        if (const std::int32_t failure = replySlot->Failure(); failure != 0) throw static_cast<RETURN_CODES>(failure);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (timeout == 0) continue;
        elapsed += 10;
        if (elapsed >= timeout) {
            if (const std::int32_t failure = replySlot->Failure(); failure != 0) throw static_cast<RETURN_CODES>(failure);
            throw TIMEOUT;
        }
    }
    return replySlot->Take();
}

int PlixoApi::ValueOperation(int kind, int value, int timeout) {
    RequireConnected();
    auto request = std::make_unique<velnor::DeviceRequest>();
    request->kind = kind;
    request->value = value;
    Exchange(std::move(request), timeout);
    return SUCCESS;
}
