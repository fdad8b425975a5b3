#include "StatusLines.h"

#include "ControlBytes.h"
#include "KeyCounts.h"
#include "Say.h"

namespace velnorutility {

using velnorbackup::KeyCharacter;
using velnorbackup::ShowControlBytes;

void SayStatus(const DEVICE_INFO& info, std::ostream& out) {
    // The keypad's own texts: whatever it holds reaches the terminal only as printable text.
    Say(out, Format(" FirmwareName Mode %s\r\n", ShowControlBytes(info.FirmwareName).c_str()));
    Say(out, Format(" Serial number %s\r\n", ShowControlBytes(info.SerialNumber).c_str()));
    Say(out, Format(" Current No Of Keys %c\r\n", KeyCharacter(info.KeyCountOption)));
}

}  // namespace velnorutility
