#include "SerialSuffix.h"

namespace velnorbackup {

bool OldFirmware(std::string_view firmware, FirmwareOf whose) {
    if (whose == FirmwareOf::Keypad) return firmware.size() >= 2 && firmware[0] == 'V' && firmware[1] - '0' < 7;
    return firmware.size() < 2 || static_cast<signed char>(firmware[1]) < '7';
}

std::string SerialToSend(std::string serial, bool oldFirmware) {
    if (oldFirmware && serial.size() == 8) serial += "    ";
    return serial;
}

}  // namespace velnorbackup
