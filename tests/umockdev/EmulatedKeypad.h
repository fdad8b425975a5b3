// A Velnor keypad emulated at the kernel's boundary with umockdev, for the real hidapi's hidraw
// backend: the USB device, its interfaces, the HID device and its hidraw node, whose /dev node
// is a pty. The test side of the pty speaks the keypad protocol through the simulator's own
// keypad model, and answers the HIDIOCGRDESCSIZE ioctl that hid_open_path makes.
//
// The process that holds the test bed must run under umockdev-wrapper, and so must the programs
// it starts (they inherit UMOCKDEV_DIR and LD_PRELOAD).
#ifndef VELNOR_TESTS_EMULATEDKEYPAD_H
#define VELNOR_TESTS_EMULATEDKEYPAD_H

#include <umockdev.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimKeypad.h"

namespace velnortest {

// The keypad as the simulator describes one: its location is the USB port chain it is plugged
// into (its sysfs device name), a missing USB string has no sysfs attribute, interface 0 alone
// when its interface number is 0, and resetAbsentMs how long it is gone after a reset.
using KeypadOptions = velnorsim::DeviceSetup;

class EmulatedKeypad {
public:
    explicit EmulatedKeypad(KeypadOptions options);
    ~EmulatedKeypad();
    EmulatedKeypad(const EmulatedKeypad&) = delete;
    EmulatedKeypad& operator=(const EmulatedKeypad&) = delete;

    // Plugged in by the constructor, at its port. Each plugging-in gets a hidraw node of its own
    // (hidraw0, hidraw1, ...): a node name cannot be added twice.
    void Plug();
    void Unplug();
    std::string Node() const;  // its /dev/hidrawN while plugged in

    struct Seen {
        int timesPlugged = 0;
        std::size_t reportsReceived = 0;
        velnorsim::KeypadSettings ram;
        velnorsim::KeypadSettings flash;
        // Since the last plugging-in: when its uevents had been sent, and when the first output
        // report was read ({} while none was).
        std::chrono::steady_clock::time_point pluggedAt;
        std::chrono::steady_clock::time_point firstReportAt;
    };
    Seen Now() const;

private:
    void PlugLocked();
    void UnplugLocked();
    void Serve();

    const KeypadOptions options_;
    UMockdevTestbed* bed_ = nullptr;  // the process's one test bed
    std::thread serveThread_;  // reads output reports, writes replies
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;  // guards everything below
    velnorsim::SimKeypad keypad_;
    std::size_t received_ = 0;  // output reports
    std::vector<velnorsim::TimedReport> pendingReplies_;
    std::chrono::steady_clock::time_point restartAt_{};
    std::chrono::steady_clock::time_point backAt_{};
    std::chrono::steady_clock::time_point pluggedAt_{};
    std::chrono::steady_clock::time_point firstReportAt_{};
    bool restarting_ = false;
    int plugs_ = 0;
    int master_ = -1;  // test side of the pty, -1 while unplugged
    std::string node_;
    std::string charLink_;
    std::string ptyMap_;
    std::vector<std::string> devices_;  // sysfs paths, parents first
    UMockdevIoctlBase* handler_ = nullptr;
};

}  // namespace velnortest

#endif
