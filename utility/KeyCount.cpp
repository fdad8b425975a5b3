// Key-count mode: the number of keys and the serial number, then flash and reset.
#include <optional>

#include "KeyCounts.h"
#include "Run.h"
#include "Say.h"
#include "SerialSuffix.h"
#include "StatusLines.h"

namespace velnorutility {

using namespace velnorbackup;

int ProgramKeyCount(Run& run, std::ostream& out) {
    // The first character names the keys: "8" and "8x" alike.
    const std::optional<std::uint8_t> option = OptionOfKeys(run.line.keyCount.empty() ? 0 : run.line.keyCount[0] - '0');
    if (!option) {
        Say(out, "Incorrect number of keys specified\r\n");
        return 1;
    }
    if (!OpenConnection(run, out)) return 1;
    PlixoApi& keypad = *run.keypad;

    bool oldFirmware = false;  // known only from a status read
    const int status = keypad.GetDeviceStatus(&run.settings, kTimeoutMs);
    if (status == 0) {
        SayStatus(run.settings, out);
        oldFirmware = OldFirmware(run.settings.FirmwareName, FirmwareOf::Keypad);
    } else {
        Say(out, Format("GetDeviceStatus failed %d \r\n", status));
    }

    const int set = keypad.SetOption(*option, kTimeoutMs);
    Say(out, set == 0 ? Format(" Successful in setting number of keys %c\r\n", run.line.keyCount[0])
                      : Format("SetOption failed %d \r\n", set));

    // Without -n the keypad keeps its serial number: an empty one would erase it.
    if (!run.line.serialGiven) {
        Say(out, " No serial number given, serial number left as it is\r\n");
    } else {
        const std::string serial = SerialToSend(run.line.serial, oldFirmware);
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
