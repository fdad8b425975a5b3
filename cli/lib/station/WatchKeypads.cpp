#include <unistd.h>

#include <cstdlib>
#include <vector>

#include <velnor/PlixoApi.h>

#include "KeypadWatch.h"
#include "UdevWatch.h"

namespace velnorcli {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// True when a keypad attached now is not a kernel device: its path is not a node under /dev/
// (the simulated keypad's are "sim:N" or a node in a folder of its own).
bool NotKernelDevices() {
    std::vector<KEYPAD_ENTRY> keypads;
    const KEYPAD_SELECTION ids;
    if (PlixoApi::ListKeypads(ids.VendorId, ids.ProductId, &keypads) != 0) return false;
    for (const KEYPAD_ENTRY& keypad : keypads) {
        if (keypad.Path.rfind("/dev/", 0) != 0) return true;
    }
    return false;
}

}  // namespace

// Kernel events are used where somebody delivers them to a libudev monitor, and only for
// keypads that are kernel devices:
// - The simulated keypad: never. Its keypads are no kernel devices (their paths do not start
//   with /dev/), and it is known before any keypad is attached by VELNOR_SIM_CONFIG, which sets
//   it up. Its keypads come and go without a uevent.
// - umockdev (its test bed sets UMOCKDEV_DIR for the process and the programs it starts): its
//   preloaded library hands the test bed's uevents to the process's own libudev monitors; no
//   udevd is involved.
// - Otherwise only with udevd running, which /run/udev/control (its control socket) shows: udevd
//   passes each kernel event on to the monitors once the node is made. Without it (a container)
//   a monitor is set up without complaint, its socket polls fine and never hears a thing, so
//   neither libudev nor the socket can tell.
// - And only when libudev gives a monitor.
std::unique_ptr<KeypadWatch> WatchKeypads(std::string& why) {
    if (Set("VELNOR_SIM_CONFIG") || NotKernelDevices()) {
        why = "the simulated keypad sends no device events";
    } else if (!Set("UMOCKDEV_DIR") && access("/run/udev/control", F_OK) != 0) {
        why = "no udev daemon runs here";
    } else if (std::unique_ptr<UdevWatch> watch = UdevWatch::Open(why)) {
        return watch;
    }
    return LookEvery500Ms();
}

}  // namespace velnorcli
