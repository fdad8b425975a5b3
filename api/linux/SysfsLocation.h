// The one platform fact that hidapi does not give: where on the USB bus a keypad is plugged in.
#ifndef VELNOR_SYSFSLOCATION_H
#define VELNOR_SYSFSLOCATION_H

#include <string>

namespace velnor {

// The USB port chain ("1-2.3") of the device behind a hidraw node, read from sysfs. A node at
// ROOT/dev/hidrawN is described by ROOT/sys/class/hidraw/hidrawN (ROOT is empty on a running
// system). Empty for any other path, or when sysfs does not tell.
std::string UsbLocationOfHidraw(const std::string& path);

}  // namespace velnor

#endif
