// Key-count mode: the number of keys and the serial number, then flash and reset.
#include <optional>

#include "Run.h"
#include "Say.h"
#include "StatusLines.h"

namespace velnorutility {

namespace {

std::optional<int> OptionOfKeys(char keys) {
    switch (keys) {
    case '5': return 0;
    case '6': return 1;
    case '8': return 2;
    default: return std::nullopt;
    }
}

// The major number of a firmware name such as V6.12; none without a V and a second character.
std::optional<int> FirmwareMajor(const std::string& firmware) {
    if (firmware.size() < 2 || firmware[0] != 'V') return std::nullopt;
    return firmware[1] - '0';
}

}  // namespace

int ProgramKeyCount(Run& run, std::ostream& out) {
    const std::optional<int> option = OptionOfKeys(run.line.keyCount.empty() ? '\0' : run.line.keyCount[0]);
    if (!option) {
        Say(out, "Incorrect number of keys specified\r\n");
        return 1;
    }
    if (!OpenConnection(run, out)) return 1;
    PlixoApi& keypad = *run.keypad;

    std::optional<int> major;
    const int status = keypad.GetDeviceStatus(&run.settings, kTimeoutMs);
    if (status == 0) {
        SayStatus(run.settings, out);
        major = FirmwareMajor(run.settings.FirmwareName);
    } else {
        Say(out, Format("GetDeviceStatus failed %d \r\n", status));
    }

    const int set = keypad.SetOption(*option, kTimeoutMs);
    Say(out, set == 0 ? Format(" Successful in setting number of keys %c\r\n", run.line.keyCount[0])
                      : Format("SetOption failed %d \r\n", set));

    // Without -n the keypad keeps its serial number: an empty one would erase it.
    std::string serial = run.line.serial;
    if (!run.line.serialGiven) {
        Say(out, " No serial number given, serial number left as it is\r\n");
    } else {
        if (major && *major < 7 && serial.size() == 8) serial += "    ";
        const int result = keypad.SetSerialNumber(serial.c_str(), kTimeoutMs);
        Say(out, result == 0 ? Format(" Successful in setting serial number of keys %s\r\n", serial.c_str())
                             : Format("SetOption failed %d \r\n", result));
    }

    const int flash = keypad.WriteDefaultToFlash(kTimeoutMs);
    Say(out, flash == 0 ? std::string(" Successful in write to flash\r\n")
                        : Format("WriteDefaultToFlash failed %d \r\n", flash));
    return keypad.ResetToFactoryDefault(kTimeoutMs);
}

}  // namespace velnorutility
