// The command builder of the worker and, filled from a reply, the reply record.
#ifndef VELNOR_MESSAGECOMMAND_H
#define VELNOR_MESSAGECOMMAND_H

#include <array>
#include <cstdint>
#include <string>

#include "Bytes.h"

namespace velnor {

class MessageHeader;
struct DeviceRequest;

class MessageCommand {
public:
    enum ERROR_CODE : std::int32_t {
        NEGATIVE_RESULT = -10999,  // a reply result code below zero
    };
    static constexpr std::int32_t kErrorBoundary = -10994;

    static constexpr std::size_t kFirmwareNameOffset = 27;
    static constexpr std::size_t kFirmwareNameMax = 7;
    static constexpr std::size_t kSerialNumberMax = 16;

    // Fills frame with the request's frame. On failure ResultCode says why and the frame stays
    // as far as it was built (empty).
    bool BuildFrame(const DeviceRequest& request, Bytes& frame);
    // Fill this record from a status (type 1) or jack status (type 15) reply's data.
    bool ParseStatus(const MessageHeader& header);
    bool ParseJackStatus(const MessageHeader& header);
    // For a connection that reads only what a reply announces and carries: false when the frame
    // holds fewer data bytes than its length field announces, or the length field announces
    // fewer bytes than the fields of its type (status: the fixed fields and the firmware name
    // with the byte after it; jack status: two bytes). The serial number, which has no
    // terminator of its own, is cut at the announced end. Plain replies carry nothing to read.
    bool FitsAnnouncedLength(const MessageHeader& header);

    std::int32_t ResultCode = 0;
    std::uint8_t LedLevel = 0;
    std::uint8_t BuzzerSetting = 0;
    std::uint8_t BuzzerPeriod = 0;
    std::uint8_t KeyCountOption = 0;
    std::uint8_t KeypadTable = 0;
    std::array<std::uint8_t, 20> CodeTable{};
    std::uint8_t JackStatus = 0;
    std::string FirmwareName;
    std::string SerialNumber;

private:
    template <typename Work>
    bool Guarded(Work&& work);
};

}  // namespace velnor

#endif
