#include "MessageCommand.h"

#include <algorithm>
#include <stdexcept>

#include "DeviceRequest.h"
#include "Frame.h"
#include "MessageHeader.h"

namespace velnor {

namespace {

Bytes PayloadOf(const DeviceRequest& request) {
    switch (request.kind) {
    case kLedLevel:
    case kBuzzer:
    case kBuzzerPeriod:
    case kKeypadTable:
    case kOption:
        return Bytes{static_cast<std::uint8_t>(request.value & 0xFF)};
    case kCodeTable:
        if (request.value < 0 || static_cast<std::size_t>(request.value) > request.data.size()) {
            throw std::length_error("code table shorter than its length");
        }
        return Bytes(request.data.begin(), request.data.begin() + request.value);
    case kSerialNumber:
        return Bytes(request.data.begin(), std::find(request.data.begin(), request.data.end(), 0));
    default:
        return Bytes{};
    }
}

// The text at data[offset], up to its first zero byte and at most `limit` characters.
std::string TextAt(const std::array<std::uint8_t, 1024>& data, std::size_t offset, std::size_t limit) {
    std::string text;
    for (std::size_t i = offset; i < data.size() && text.size() < limit && data[i] != 0; ++i) {
        text.push_back(static_cast<char>(data[i]));
    }
    return text;
}

}  // namespace

// A step refused on the way throws its ERROR_CODE, which becomes ResultCode (true for a code below
// the boundary, a result the caller acts on); anything else thrown is failure -1.
template <typename Work>
bool MessageCommand::Guarded(Work&& work) {
    try {
        return work();
    } catch (ERROR_CODE code) {
        ResultCode = code;
        return code < kErrorBoundary;
    } catch (...) {
        ResultCode = -1;
        return false;
    }
}

bool MessageCommand::BuildFrame(const DeviceRequest& request, Bytes& frame) {
    return Guarded([&] { return MakeFrame(static_cast<std::uint8_t>(request.kind & 0xFF), PayloadOf(request), frame); });
}

bool MessageCommand::ParseStatus(const MessageHeader& header) {
    return Guarded([&] {
        const auto& data = header.data;
        ResultCode = data[0];
        if (ResultCode < 0) throw NEGATIVE_RESULT;
        LedLevel = data[1];
        BuzzerSetting = data[3];
        KeyCountOption = data[4];
        BuzzerPeriod = data[5];
        KeypadTable = data[6];
        std::copy_n(data.begin() + 7, CodeTable.size(), CodeTable.begin());
        FirmwareName = TextAt(data, kFirmwareNameOffset, kFirmwareNameMax);
        SerialNumber = TextAt(data, kFirmwareNameOffset + 1 + FirmwareName.size(), kSerialNumberMax);
        return true;
    });
}

bool MessageCommand::ParseJackStatus(const MessageHeader& header) {
    return Guarded([&] {
        ResultCode = header.data[0];
        if (ResultCode < 0) throw NEGATIVE_RESULT;
        JackStatus = header.data[1];
        return true;
    });
}

bool MessageCommand::FitsAnnouncedLength(const MessageHeader& header) {
    if (header.carried < header.length) return false;
    const auto announced = static_cast<std::size_t>(std::max(header.length, 0));
    switch (header.type) {
    case kStatus: {
        const std::size_t serialStart = kFirmwareNameOffset + FirmwareName.size() + 1;
        if (announced < serialStart) return false;
        SerialNumber.resize(std::min(SerialNumber.size(), announced - serialStart));
        return true;
    }
    case kJackStatus:
        return announced >= 2;
    default:
        return true;
    }
}

}  // namespace velnor
