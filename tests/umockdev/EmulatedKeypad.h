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
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimKeypad.h"

namespace velnortest {

struct KeypadOptions {
    std::string port = "1-1";  // the USB port chain it is plugged into: its sysfs device name
    std::string usbSerial;     // its USB serial-number string; empty: it has none
    bool interfaceOne = true;  // false: the keypad offers interface 0 only
    std::string manufacturer = "Velnor";  // empty: the USB device has no such attribute
    std::string product = "Velnor Keypad";
    velnorsim::KeypadSettings settings;
    int restartMs = 1000;  // how long it is gone after ResetToFactoryDefault
};

// One test bed for the process (umockdev's environment is process-wide), with the thread that
// runs its ioctl handlers. Keypads plugged in share it and number their nodes from it.
class TestBed {
public:
    static TestBed& Get();
    UMockdevTestbed* bed() const { return bed_; }
    std::mutex& mutex() { return mutex_; }  // held around every change of the bed
    int NextNode() { return nextNode_++; }  // with mutex() held
    // Runs the work on the loop thread (ioctl handlers belong to the thread's main context).
    bool OnLoopThread(const std::function<bool()>& work);

private:
    TestBed();
    UMockdevTestbed* bed_ = nullptr;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread loopThread_;
    std::mutex mutex_;
    int nextNode_ = 0;
};

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
    };
    Seen Now() const;

private:
    void PlugLocked();
    void UnplugLocked();
    void Serve();
    bool HandleIoctl(UMockdevIoctlClient* client);
    static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);

    const KeypadOptions options_;
    TestBed& testBed_;
    UMockdevTestbed* bed_ = nullptr;
    std::thread serveThread_;  // reads output reports, writes replies
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;  // guards everything below
    velnorsim::SimKeypad keypad_;
    std::size_t received_ = 0;  // output reports
    std::vector<velnorsim::TimedReport> pendingReplies_;
    std::chrono::steady_clock::time_point restartAt_{};
    std::chrono::steady_clock::time_point backAt_{};
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
