// A byte string: frames, report bytes and frame texts.
#ifndef VELNOR_BYTES_H
#define VELNOR_BYTES_H

#include <cstdint>
#include <vector>

namespace velnor {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;

}  // namespace velnor

#endif
