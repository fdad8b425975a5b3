#include "StatusLines.h"

#include "Say.h"

namespace velnorutility {

void SayStatus(const DEVICE_INFO& info, std::ostream& out) {
    Say(out, Format(" FirmwareName Mode %s\r\n", info.FirmwareName.c_str()));
    Say(out, Format(" Serial number %s\r\n", info.SerialNumber.c_str()));
    Say(out, Format(" Current No Of Keys %c\r\n", KeyCharacter(info.KeyCountOption)));
}

}  // namespace velnorutility
