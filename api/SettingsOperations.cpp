// The ten settings operations. Each is one request exchange; the reply's content is not looked
// at. Argument checks come after the connection check; null pointers are refused first.
#include <cstring>

#include "Boundary.h"
#include "WorkerPause.h"
#include "protocol/DeviceRequest.h"
#include "protocol/MessageCommand.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;

namespace {
constexpr int kCodeTableLength = 20;
constexpr std::size_t kLongestSerialNumber = 255;  // what one length field can announce
}  // namespace

int PlixoApi::SetLedLevel(int level, int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kLedLevel, level, timeout); });
}

int PlixoApi::SetBuzzer(int setting, int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kBuzzer, setting, timeout); });
}

int PlixoApi::SetBuzzerPeriod(int period, int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kBuzzerPeriod, period, timeout); });
}

int PlixoApi::SetKeypadTable(int table, int timeout) {
    return CatchAtBoundary(lastError, [&] {
        RequireConnected();
        if (table > 2) throw INVALID_ARGUMENT;
        return ValueOperation(velnor::kKeypadTable, table, timeout);
    });
}

int PlixoApi::SetOption(int option, int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kOption, option, timeout); });
}

int PlixoApi::WriteDefaultToFlash(int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kWriteDefaultToFlash, 0, timeout); });
}

// Once its report is written, the keypad is expected to leave (WaitUntilLeft; the worker marks it).
int PlixoApi::ResetToFactoryDefault(int timeout) {
    return CatchAtBoundary(lastError, [&] {
        RequireConnected();
        return ValueOperation(velnor::kResetToFactoryDefault, 0, timeout);
    });
}

int PlixoApi::StartBSL(int timeout) {
    return CatchAtBoundary(lastError, [&] { return ValueOperation(velnor::kStartBsl, 0, timeout); });
}

// The request keeps its own copy of the table: the worker may build the frame after this
// operation has returned (for instance after a time-out).
int PlixoApi::LoadCodeTable(const char* table, int length, int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (table == nullptr) throw NULL_POINTER;
        RequireConnected();
        if (length != kCodeTableLength) throw INVALID_ARGUMENT;
        auto request = std::make_unique<velnor::DeviceRequest>();
        request->kind = velnor::kCodeTable;
        request->value = kCodeTableLength;
        request->data.assign(table, table + kCodeTableLength);
        Exchange(std::move(request), timeout);
        return 0;
    });
}

int PlixoApi::SetSerialNumber(const char* serial, int timeout) {
    return CatchAtBoundary(lastError, [&] {
        if (serial == nullptr) throw NULL_POINTER;
        RequireConnected();
        const std::size_t length = strnlen(serial, kLongestSerialNumber + 1);
        if (length > kLongestSerialNumber) throw INVALID_ARGUMENT;
        auto request = std::make_unique<velnor::DeviceRequest>();
        request->kind = velnor::kSerialNumber;
        request->data.assign(serial, serial + length);
        Exchange(std::move(request), timeout);
        return 0;
    });
}
