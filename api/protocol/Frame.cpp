#include "Frame.h"

#include "HexText.h"

namespace velnor {

std::uint8_t XorChecksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t checksum = 0;
    for (std::uint8_t byte : bytes) checksum ^= byte;
    return checksum;
}

bool MakeFrame(std::uint8_t command, std::span<const std::uint8_t> payload, Bytes& frame) {
    frame.clear();
    frame.reserve(9 + payload.size());
    frame.push_back(kReportId);
    frame.push_back(kReportLead);
    frame.push_back(kStx);
    const std::uint8_t length = static_cast<std::uint8_t>(payload.size() & 0xFF);
    BytesToHex(std::span(&command, 1), frame);
    BytesToHex(std::span(&length, 1), frame);
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(kEtx);
    frame.push_back(XorChecksum(std::span(frame).subspan(2)));
    return true;
}

}  // namespace velnor
