#include "MessageRoute.h"

namespace velnor {

MessageRoute RouteOf(std::int32_t type) {
    switch (type) {
    case 1:
        return MessageRoute::StatusReply;
    case 15:
        return MessageRoute::JackStatusReply;
    case 2:
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
    case 12:
    case 14:
        return MessageRoute::PlainReply;
    case 16:
    case 17:
        return MessageRoute::Acknowledgement;
    default:
        return MessageRoute::Unexpected;
    }
}

}  // namespace velnor
