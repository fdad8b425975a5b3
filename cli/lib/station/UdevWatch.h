// The kernel's device events through libudev: a monitor of the "udev" netlink group (the events
// udevd passes on once it has made the node) for the hidraw subsystem.
#ifndef VELNOR_CLI_STATION_UDEVWATCH_H
#define VELNOR_CLI_STATION_UDEVWATCH_H

#include <memory>
#include <string>

#include "KeypadWatch.h"

struct udev;
struct udev_monitor;

namespace velnorcli {

class UdevWatch final : public KeypadWatch {
public:
    // A monitor receiving from now on (events that come between two Waits wake the next one), or
    // nullptr with the reason in `why` when libudev cannot give one. Whether anybody sends it
    // events is not known here: WatchKeypads decides that.
    static std::unique_ptr<UdevWatch> Open(std::string& why);
    ~UdevWatch() override;
    UdevWatch(const UdevWatch&) = delete;
    UdevWatch& operator=(const UdevWatch&) = delete;

    // Returns once a hidraw node was added or removed (every pending event read), at `limit`, or
    // within 100 ms of *stop.
    void Wait(std::chrono::milliseconds limit, const std::atomic<bool>* stop) override;
    bool Events() const override { return true; }

private:
    UdevWatch(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    // Reads every pending event: true when one of them added or removed a node.
    bool Drain();

    udev* udev_;
    udev_monitor* monitor_;
};

}  // namespace velnorcli

#endif
