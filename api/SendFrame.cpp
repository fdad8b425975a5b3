// Writing a frame as paced 64-byte output reports.
#include <hidapi.h>

#include <chrono>
#include <thread>

#include "protocol/OutputReports.h"
#include "velnor/PlixoApi.h"

bool PlixoApi::SendFrame(const std::vector<std::uint8_t>& frame) {
    for (const velnor::OutputReport& report : velnor::CutIntoReports(frame)) {
        const int written = device != nullptr ? hid_write(device, report.data(), report.size()) : -1;
        // The keypad needs a pause after every report, whether or not the write went through.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A report written in part never reached the keypad as a frame.
        if (written != static_cast<int>(report.size())) return false;
    }
    return true;
}
