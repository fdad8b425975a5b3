#include "UdevWatch.h"

#include <libudev.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

namespace velnorcli {

namespace {

constexpr std::chrono::milliseconds kSlice{100};  // the longest a stop goes unseen

}  // namespace

std::unique_ptr<UdevWatch> UdevWatch::Open(std::string& why) {
    udev* context = udev_new();
    if (context == nullptr) {
        why = "libudev cannot be set up";
        return nullptr;
    }
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    int result = monitor == nullptr ? -1 : udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr);
    if (result >= 0) result = udev_monitor_enable_receiving(monitor);
    if (result < 0) {
        why = std::string("the kernel's device events cannot be received (") +
              (monitor == nullptr ? "no netlink socket" : std::strerror(result < -1 ? -result : errno)) + ")";
        if (monitor != nullptr) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    // A hub of keypads plugged at once sends a burst; room for it, where the system allows.
    udev_monitor_set_receive_buffer_size(monitor, 1 << 20);
    return std::unique_ptr<UdevWatch>(new UdevWatch(context, monitor));
}

UdevWatch::~UdevWatch() {
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

bool UdevWatch::Drain() {
    bool changed = false;
    // The monitor's socket does not block: NULL once nothing is pending (or on an error, which
    // the next poll shows again).
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        const std::string_view what = action != nullptr ? action : "";
        if (what == "add" || what == "remove") changed = true;
        udev_device_unref(device);
    }
    return changed;
}

void UdevWatch::Wait(std::chrono::milliseconds limit, const std::atomic<bool>* stop) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (stop != nullptr && stop->load()) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero()) return;
        pollfd ready{udev_monitor_get_fd(monitor_), POLLIN, 0};
        const int count = poll(&ready, 1, static_cast<int>(std::min(left, kSlice).count()));
        if (count < 0 && errno != EINTR) {
            std::this_thread::sleep_for(std::min(left, kSlice));  // not to spin where poll fails
            continue;
        }
        if (count <= 0) continue;
        // An overflowed socket lost events: the keypads may have changed.
        if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Drain();
            return;
        }
        if (Drain()) return;
    }
}

}  // namespace velnorcli
