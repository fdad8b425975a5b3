#include "velnor_sim/SimControl.h"

#include "SimBus.h"

namespace velnorsim {

namespace {

template <typename Action>
auto WithDevice(DeviceId id, Action&& action) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    SimDevice* device = bus.Find(id);
    using Result = decltype(action(*device));
    if (device == nullptr) {
        if constexpr (std::is_void_v<Result>) {
            return;
        } else {
            return Result{};
        }
    }
    return action(*device);
}

}  // namespace

DeviceId AddDevice(const DeviceSetup& setup) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    const DeviceId id = bus.Add(setup).id;
    bus.WriteStateFile();
    return id;
}

void RemoveAllDevices() {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    for (auto& device : bus.devices) bus.Disappear(*device);
    bus.devices.clear();
    bus.initFails = false;
    for (bool& held : bus.held) held = false;
    bus.counters = Counters{.openHandles = static_cast<int>(bus.handles.size())};
    bus.WriteStateFile();
}

void Detach(DeviceId id) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        device.pluggedIn = false;
        device.renumberDue = true;
        bus.Disappear(device);
        bus.WriteStateFile();
    });
}

void Attach(DeviceId id) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        device.pluggedIn = true;
        bus.WriteStateFile();
    });
}

void Replace(DeviceId id, const DeviceSetup& setup) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        bus.Disappear(device);
        DeviceSetup next = setup;
        next.location = device.setup.location;
        next.path = next.location.empty() ? device.setup.path : std::string();
        SimDevice fresh(device.id, next);
        fresh.setup.path = device.setup.path;  // until the next look at the bus gives it its new node
        fresh.generation = device.generation;
        fresh.node = device.node;
        fresh.renumberDue = true;
        device = std::move(fresh);
        bus.WriteStateFile();
    });
}

bool IsAttached(DeviceId id) {
    Bus& bus = Bus::Get();
    return WithDevice(id, [&](SimDevice& device) { return bus.Present(device, Clock::now()); });
}

std::string PathOf(DeviceId id) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    bus.Refresh(Clock::now());
    SimDevice* device = bus.Find(id);
    return device != nullptr ? device->setup.path : std::string();
}

std::string SystemRoot() {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    return SystemRootLocked(bus);
}

void SetSystemRoot(const std::string& folder) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    bus.systemRoot = folder;
}

int OpenHandleCount(DeviceId id) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    int count = 0;
    for (const hid_device_* handle : bus.handles) count += handle->deviceId == id ? 1 : 0;
    return count;
}

KeypadSettings RamSettings(DeviceId id) {
    return WithDevice(id, [](SimDevice& device) { return device.keypad.ram; });
}

KeypadSettings FlashSettings(DeviceId id) {
    return WithDevice(id, [](SimDevice& device) { return device.keypad.flash; });
}

void SetRamSettings(DeviceId id, const KeypadSettings& settings) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        device.keypad.ram = settings;
        bus.WriteStateFile();
    });
}

void SetFault(DeviceId id, int command, const Fault& fault) {
    WithDevice(id, [&](SimDevice& device) { device.keypad.faults.push_back({command, fault}); });
}

void ClearFaults(DeviceId id) {
    WithDevice(id, [](SimDevice& device) {
        device.keypad.faults.clear();
        device.keypad.randomPercent = 0;
    });
}

void SetRandomFaults(DeviceId id, unsigned seed, int percent, const std::vector<FaultKind>& kinds) {
    WithDevice(id, [&](SimDevice& device) {
        device.keypad.randomSeed = seed;
        device.keypad.randomPercent = percent;
        device.keypad.randomKinds = kinds;
    });
}

void SetWritesFail(DeviceId id, bool fail) {
    WithDevice(id, [&](SimDevice& device) { device.writesFail = fail; });
}

void SetReadsFail(DeviceId id, bool fail) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        device.readsFail = fail;
        bus.changed.notify_all();
    });
}

void InjectInputReport(DeviceId id, const Report& report, int delayMs) {
    Bus& bus = Bus::Get();
    WithDevice(id, [&](SimDevice& device) {
        bus.Deliver(device, {TimedReport{Clock::now() + std::chrono::milliseconds(delayMs), report}});
    });
}

std::vector<Report> OutputReports(DeviceId id) {
    return WithDevice(id, [](SimDevice& device) { return device.received; });
}

std::vector<Clock::time_point> OutputReportTimes(DeviceId id) {
    return WithDevice(id, [](SimDevice& device) { return device.receivedAt; });
}

void ClearOutputReports(DeviceId id) {
    WithDevice(id, [](SimDevice& device) {
        device.received.clear();
        device.receivedAt.clear();
    });
}

void HoldCalls(Call call) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    bus.held[static_cast<std::size_t>(call)] = true;
}

void ReleaseCalls(Call call) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    bus.held[static_cast<std::size_t>(call)] = false;
    bus.changed.notify_all();
}

bool WaitForHeldCall(Call call, int timeoutMs) {
    Bus& bus = Bus::Get();
    std::unique_lock lock(bus.mutex);
    return bus.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return bus.waitingAt[static_cast<std::size_t>(call)] > 0; });
}

int FrameErrors(DeviceId id) {
    return WithDevice(id, [](SimDevice& device) { return device.keypad.frameErrors; });
}

Counters GetCounters() {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    return bus.counters;
}

void SetInitFails(bool fail) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    bus.initFails = fail;
}

}  // namespace velnorsim
