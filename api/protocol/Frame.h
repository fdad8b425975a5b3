// The outbound frame: 3F 40 STX, command and length as hexadecimal text, raw payload, ETX, and
// the XOR of every byte from STX through ETX.
#ifndef VELNOR_FRAME_H
#define VELNOR_FRAME_H

#include <cstdint>
#include <span>

#include "Bytes.h"

namespace velnor {

constexpr std::uint8_t kReportId = 0x3F;
constexpr std::uint8_t kReportLead = 0x40;

std::uint8_t XorChecksum(std::span<const std::uint8_t> bytes);

// Clears frame and fills it with the complete frame; the length field carries the low 8 bits
// of the payload length. Returns true.
bool MakeFrame(std::uint8_t command, std::span<const std::uint8_t> payload, Bytes& frame);

}  // namespace velnor

#endif
