// Where an inbound message goes, by its type.
#ifndef VELNOR_MESSAGEROUTE_H
#define VELNOR_MESSAGEROUTE_H

#include <cstdint>

namespace velnor {

enum class MessageRoute {
    StatusReply,      // 1
    JackStatusReply,  // 15
    PlainReply,       // 2, 4, 5, 6, 7, 9, 10, 11, 12, 14
    Acknowledgement,  // 16 ACK, 17 NAK: complete nothing
    Unexpected,       // 3, 8, 13 and anything outside 1 to 17
};

MessageRoute RouteOf(std::int32_t type);

}  // namespace velnor

#endif
