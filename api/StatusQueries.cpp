// The two status queries: a request exchange whose reply record is read back.
#include "Boundary.h"
#include "protocol/DeviceRequest.h"
#include "protocol/MessageCommand.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;

namespace {

std::unique_ptr<velnor::DeviceRequest> Query(int kind) {
    auto request = std::make_unique<velnor::DeviceRequest>();
    request->kind = kind;
    return request;
}

}  // namespace

int PlixoApi::GetDeviceStatus(DEVICE_INFO* info, int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (info == nullptr) throw NULL_POINTER;
        RequireConnected();
        const std::unique_ptr<velnor::MessageCommand> record = Exchange(Query(velnor::kStatus), timeout);
        // The counter moves only after a record is stored, and only this operation takes it.
        if (!record) throw UNKNOWN_ERROR;
        info->LedLevel = record->LedLevel;
        info->BuzzerSetting = record->BuzzerSetting;
        info->BuzzerPeriod = record->BuzzerPeriod;
        info->KeypadTable = record->KeypadTable;
        info->KeyCountOption = record->KeyCountOption;
        info->CodeTable = record->CodeTable;
        info->SerialNumber = record->SerialNumber;
        info->FirmwareName = record->FirmwareName;
        return 0;
    });
}

int PlixoApi::GetJackStatus(int* status, int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (status == nullptr) throw NULL_POINTER;
        RequireConnected();
        const std::unique_ptr<velnor::MessageCommand> record = Exchange(Query(velnor::kJackStatus), timeout);
        if (!record) throw UNKNOWN_ERROR;
        *status = record->JackStatus;
        return 0;
    });
}
