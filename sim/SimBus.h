// The process-wide simulated USB bus: its devices, the open handles and their input queues.
// Built on first use (reading VELNOR_SIM_CONFIG when set) and never destroyed.
#ifndef VELNOR_SIM_SIMBUS_H
#define VELNOR_SIM_SIMBUS_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimKeypad.h"
#include "velnor_sim/SimControl.h"

struct hid_device_info;

namespace velnorsim {

struct SimDevice {
    SimDevice(DeviceId deviceId, const DeviceSetup& deviceSetup);

    DeviceId id;
    DeviceSetup setup;  // setup.path is the path it enumerates under now
    std::string label;  // its name in the report log and the state file
    SimKeypad keypad;
    bool pluggedIn = true;
    // Away from the bus in [awayFrom, awayUntil): not plugged in yet, or restarting after a
    // reset. Handles opened before awayFrom die when it comes.
    Clock::time_point awayFrom{};
    Clock::time_point awayUntil{};
    // Unplugged for good from then on (leave_after_ms); handles die then too.
    Clock::time_point leavesAt = Clock::time_point::max();
    std::uint64_t generation = 0;  // bumped when it is unplugged; older handles are dead
    std::vector<Report> received;
    std::vector<Clock::time_point> receivedAt;  // when each was written
    bool writesFail = false;
    bool readsFail = false;
    bool renumberDue = false;  // it went away: it comes back under a new node (with a location)
    int node = -1;             // N of its node ROOT/dev/hidrawN, when it has one
};

}  // namespace velnorsim

// A handle of the simulated hidapi.
struct hid_device_ {
    velnorsim::DeviceId deviceId = 0;
    std::uint64_t generation = 0;
    velnorsim::Clock::time_point openedAt{};
    std::deque<velnorsim::TimedReport> input;
    int readsInProgress = 0;
    bool closed = false;  // closed while a read was in progress: the reader frees it
    bool nonblocking = false;
    hid_device_info* info = nullptr;
};

namespace velnorsim {

template <typename T>
class NoDestructor;

class Bus {
public:
    static Bus& Get();

    // Everything below is guarded by mutex.
    std::mutex mutex;
    std::condition_variable changed;  // input arrived, or a device went away

    std::vector<std::unique_ptr<SimDevice>> devices;
    std::vector<hid_device_*> handles;
    DeviceId nextId = 1;
    bool initFails = false;
    Counters counters;
    bool held[5] = {};     // by Call
    int waitingAt[5] = {};  // calls waiting at each hold
    std::string reportLogPath;  // every output report is appended here when set
    std::string stateFilePath;  // rewritten with every device's state when it changes
    std::string callLogPath;    // hidapi's set-up, enumerate and open calls are appended here when set

    SimDevice& Add(const DeviceSetup& setup);
    // While the configuration and the state file are read: nodes are given once both are.
    bool settingUp = false;
    SimDevice* Find(DeviceId id);
    // Devices with a location that have come back get their new node; called by every hidapi
    // function that looks at the bus.
    void Refresh(Clock::time_point now);
    // Gives the device node `number` (a new one when negative): nodes are numbered in the order
    // they are given, and the state file remembers them, so a set-up with a state file or a
    // sys_root sees the same paths in every process.
    void GiveNode(SimDevice& device, int number = -1);
    // The configuration's sys_root; without one, beside the state file (STATE.root); without
    // either, a folder of this process, removed at its end. Set on first use.
    std::string systemRoot;
    int nextHidraw = 0;
    // Plugged in, not away and not left.
    bool Present(const SimDevice& device, Clock::time_point now) const;
    // The handle's device is present and the same one the handle was opened on.
    SimDevice* LiveDevice(const hid_device_* handle, Clock::time_point now);
    void Disappear(SimDevice& device);
    void Deliver(SimDevice& device, std::vector<TimedReport> reports);
    void LogOutputReport(const SimDevice& device, const Report& report);
    void LogCall(const std::string& line);
    void WriteStateFile();

    // Overlap detection for hidapi's non-thread-safe calls (made outside mutex).
    std::atomic<int> unsafeCallsInside{0};

private:
    friend class NoDestructor<Bus>;
    Bus();
};

// With bus.mutex held: the system root, made on first use.
std::string SystemRootLocked(Bus& bus);

// Waits while calls of this function are held (see HoldCalls).
void PassHold(Call call);

// Marks one non-thread-safe hidapi call, counting overlaps with another.
class UnsafeCall {
public:
    UnsafeCall();
    ~UnsafeCall();
    UnsafeCall(const UnsafeCall&) = delete;
    UnsafeCall& operator=(const UnsafeCall&) = delete;
};

std::wstring WidenUtf8(const std::string& text);

}  // namespace velnorsim

#endif
