#include "SimBus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

#include "NoDestructor.h"
#include "SimConfig.h"

namespace velnorsim {

namespace {

// A system root of our own, removed when the process ends.
std::string MakeSystemRoot() {
    static char made[] = "/tmp/velnor-sim-XXXXXX";  // no destructor: threads may outlive main()
    if (mkdtemp(made) == nullptr) return "/tmp/velnor-sim";
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return made;
}

}  // namespace

std::string SystemRootLocked(Bus& bus) {
    if (bus.systemRoot.empty()) bus.systemRoot = bus.stateFilePath.empty() ? MakeSystemRoot() : bus.stateFilePath + ".root";
    return bus.systemRoot;
}

SimDevice::SimDevice(DeviceId deviceId, const DeviceSetup& deviceSetup)
    : id(deviceId), setup(deviceSetup), keypad(deviceSetup) {
    if (setup.path.empty() && setup.location.empty()) setup.path = "sim:" + std::to_string(id);
    label = !setup.name.empty() ? setup.name : !setup.path.empty() ? setup.path : setup.location;
}

Bus::Bus() {
    if (const char* config = std::getenv("VELNOR_SIM_CONFIG"); config != nullptr && *config) {
        settingUp = true;
        LoadConfigFile(*this, config);
        LoadStateFile(*this);
        settingUp = false;
        for (const auto& device : devices) {
            if (device->node >= 0) nextHidraw = std::max(nextHidraw, device->node + 1);
        }
        for (const auto& device : devices) {
            if (device->setup.location.empty() || !device->setup.path.empty()) continue;
            GiveNode(*device, device->node);
            // Away when the last process ended: back now, under a new node.
            if (std::exchange(device->renumberDue, false) && device->node >= 0) GiveNode(*device);
        }
        WriteStateFile();
    }
}

Bus& Bus::Get() {
    static NoDestructor<Bus> bus;
    return bus.get();
}

SimDevice& Bus::Add(const DeviceSetup& setup) {
    devices.push_back(std::make_unique<SimDevice>(nextId++, setup));
    SimDevice& device = *devices.back();
    if (!device.setup.location.empty() && device.setup.path.empty() && !settingUp) GiveNode(device);
    return device;
}

void Bus::Refresh(Clock::time_point now) {
    bool renumbered = false;
    for (auto& device : devices) {
        if (device->renumberDue && Present(*device, now)) {
            device->renumberDue = false;
            if (device->setup.location.empty()) continue;
            GiveNode(*device);
            renumbered = true;
        }
    }
    if (renumbered) WriteStateFile();
}

// The node and the sysfs entries that lead from it to the USB device at the location:
// ROOT/sys/class/hidraw/hidrawN -> ../../devices/usb1/L/L:1.I/0003:VVVV:PPPP.NNNN/hidraw/hidrawN,
// whose "device" link leads to the HID device. The old node's class link goes away.
void Bus::GiveNode(SimDevice& device, int number) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path root = SystemRootLocked(*this);
    if (!device.setup.path.empty()) fs::remove(root / "sys/class/hidraw" / fs::path(device.setup.path).filename(), ignored);
    if (number < 0) number = nextHidraw++;
    nextHidraw = std::max(nextHidraw, number + 1);
    device.node = number;
    const std::string node = "hidraw" + std::to_string(number);
    char hid[32];
    std::snprintf(hid, sizeof hid, "0003:%04X:%04X.%04X", device.setup.vendorId, device.setup.productId, number + 1);
    const std::string& location = device.setup.location;
    const fs::path devices = "devices/usb1/" + location + "/" + location + ":1." + std::to_string(device.setup.interfaceNumber) + "/" + hid;
    fs::create_directories(root / "sys" / devices / "hidraw" / node, ignored);
    fs::create_directory_symlink(fs::path("../../../") / hid, root / "sys" / devices / "hidraw" / node / "device", ignored);
    fs::create_directories(root / "sys/class/hidraw", ignored);
    fs::create_directory_symlink(fs::path("../..") / devices / "hidraw" / node, root / "sys/class/hidraw" / node, ignored);
    fs::create_directories(root / "dev", ignored);
    device.setup.path = (root / "dev" / node).string();
}

SimDevice* Bus::Find(DeviceId id) {
    for (auto& device : devices) {
        if (device->id == id) return device.get();
    }
    return nullptr;
}

bool Bus::Present(const SimDevice& device, Clock::time_point now) const {
    return device.pluggedIn && now < device.leavesAt && !(now >= device.awayFrom && now < device.awayUntil);
}

SimDevice* Bus::LiveDevice(const hid_device_* handle, Clock::time_point now) {
    SimDevice* device = Find(handle->deviceId);
    if (device == nullptr || device->generation != handle->generation) return nullptr;
    if (handle->openedAt < device->awayFrom && now >= device->awayFrom) return nullptr;
    return Present(*device, now) ? device : nullptr;
}

void Bus::Disappear(SimDevice& device) {
    ++device.generation;
    for (hid_device_* handle : handles) {
        if (handle->deviceId != device.id) continue;
        // What the keypad sent before it went away can still be read; later reports are lost.
        const Clock::time_point now = Clock::now();
        while (!handle->input.empty() && handle->input.back().readyAt > now) handle->input.pop_back();
    }
    changed.notify_all();
}

void Bus::Deliver(SimDevice& device, std::vector<TimedReport> reports) {
    for (hid_device_* handle : handles) {
        if (handle->deviceId != device.id || handle->generation != device.generation) continue;
        for (const TimedReport& report : reports) {
            auto at = handle->input.end();
            while (at != handle->input.begin() && std::prev(at)->readyAt > report.readyAt) --at;
            handle->input.insert(at, report);
        }
    }
    changed.notify_all();
}

void Bus::LogOutputReport(const SimDevice& device, const Report& report) {
    if (reportLogPath.empty()) return;
    std::FILE* log = std::fopen(reportLogPath.c_str(), "a");
    if (log == nullptr) return;
    std::fprintf(log, "%s", device.label.c_str());
    for (std::uint8_t byte : report) std::fprintf(log, " %02X", byte);
    std::fprintf(log, "\n");
    std::fclose(log);
}

void Bus::LogCall(const std::string& line) {
    if (callLogPath.empty()) return;
    std::FILE* log = std::fopen(callLogPath.c_str(), "a");
    if (log == nullptr) return;
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
}

void Bus::WriteStateFile() {
    if (stateFilePath.empty()) return;
    // Written whole and renamed into place: a process starting meanwhile reads the old state or
    // the new one, never half of one.
    const std::string temporary = stateFilePath + ".tmp" + std::to_string(getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return;
    for (const auto& device : devices) {
        std::fprintf(file, "device %s\n", device->label.c_str());
        if (!device->setup.location.empty()) std::fprintf(file, "path %s\n", device->setup.path.c_str());
        if (device->renumberDue && !device->setup.location.empty()) std::fprintf(file, "away\n");
        const std::string text = FormatSettings(device->keypad.ram, device->keypad.flash);
        std::fputs(text.c_str(), file);
    }
    const bool written = std::fclose(file) == 0;
    if (!written || std::rename(temporary.c_str(), stateFilePath.c_str()) != 0) std::remove(temporary.c_str());
}

void PassHold(Call call) {
    Bus& bus = Bus::Get();
    const auto index = static_cast<std::size_t>(call);
    std::unique_lock lock(bus.mutex);
    if (!bus.held[index]) return;
    ++bus.waitingAt[index];
    bus.changed.notify_all();
    bus.changed.wait(lock, [&] { return !bus.held[index]; });
    --bus.waitingAt[index];
}

UnsafeCall::UnsafeCall() {
    Bus& bus = Bus::Get();
    if (bus.unsafeCallsInside.fetch_add(1) != 0) {
        std::lock_guard lock(bus.mutex);
        ++bus.counters.overlappingUnsafeCalls;
    }
    // Widen the window in which an unserialised second caller would be seen.
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

UnsafeCall::~UnsafeCall() { Bus::Get().unsafeCallsInside.fetch_sub(1); }

std::wstring WidenUtf8(const std::string& text) {
    std::wstring wide;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
            wide.push_back(L'?');
            ++i;
            continue;
        }
        std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        wide.push_back(static_cast<wchar_t>(code));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return wide;
}

}  // namespace velnorsim
