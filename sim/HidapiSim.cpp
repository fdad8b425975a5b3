// hidapi's C functions over the simulated bus, with hidapi's return conventions.
#include <hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "SimBus.h"

using velnorsim::Bus;
using velnorsim::Clock;
using velnorsim::SimDevice;
using velnorsim::UnsafeCall;

namespace {

wchar_t* DuplicateWide(const std::optional<std::wstring>& text) {
    const std::wstring value = text.value_or(L"");
    auto* copy = static_cast<wchar_t*>(std::malloc((value.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) std::wmemcpy(copy, value.c_str(), value.size() + 1);
    return copy;
}

hid_device_info* MakeInfo(const SimDevice& device) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (info == nullptr) return nullptr;
    info->path = strdup(device.setup.path.c_str());
    info->vendor_id = device.setup.vendorId;
    info->product_id = device.setup.productId;
    info->serial_number = DuplicateWide(device.setup.serialNumber);
    info->release_number = 0x0100;
    info->manufacturer_string = DuplicateWide(device.setup.manufacturer);
    info->product_string = DuplicateWide(device.setup.product);
    info->usage_page = 0xFF00;
    info->usage = 0x0001;
    info->interface_number = device.setup.interfaceNumber;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void FreeInfoList(hid_device_info* info) {
    while (info != nullptr) {
        hid_device_info* next = info->next;
        std::free(info->path);
        std::free(info->serial_number);
        std::free(info->manufacturer_string);
        std::free(info->product_string);
        std::free(info);
        info = next;
    }
}

hid_device* OpenHandle(Bus& bus, SimDevice& device) {
    auto* handle = new (std::nothrow) hid_device_;
    if (handle == nullptr) return nullptr;
    handle->deviceId = device.id;
    handle->generation = device.generation;
    handle->openedAt = Clock::now();
    handle->info = MakeInfo(device);
    bus.handles.push_back(handle);
    ++bus.counters.openHandles;
    return handle;
}

bool Known(Bus& bus, const hid_device* handle) {
    return handle != nullptr && std::find(bus.handles.begin(), bus.handles.end(), handle) != bus.handles.end();
}

int CopyString(const std::optional<std::wstring>& text, wchar_t* string, size_t maxlen) {
    if (!text || string == nullptr || maxlen == 0) return -1;
    const size_t count = std::min(text->size(), maxlen - 1);
    std::wmemcpy(string, text->c_str(), count);
    string[count] = L'\0';
    return 0;
}

using StringField = std::optional<std::wstring> velnorsim::DeviceSetup::*;

int GetString(hid_device* handle, StringField field, wchar_t* string, size_t maxlen) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    if (!Known(bus, handle)) return -1;
    SimDevice* device = bus.LiveDevice(handle, Clock::now());
    if (device == nullptr) return -1;
    return CopyString(device->setup.*field, string, maxlen);
}

}  // namespace

// The package builds with hidden visibility; hidapi's functions are the library's interface.
#pragma GCC visibility push(default)
extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) {
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    ++bus.counters.initCalls;
    bus.LogCall("hid_init");
    return bus.initFails ? -1 : 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void) {
    velnorsim::PassHold(velnorsim::Call::Exit);
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    ++bus.counters.exitCalls;
    bus.LogCall("hid_exit");
    return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                   unsigned short product_id) {
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    ++bus.counters.enumerateCalls;
    const Clock::time_point now = Clock::now();
    bus.Refresh(now);
    hid_device_info* first = nullptr;
    hid_device_info** tail = &first;
    int given = 0;
    for (auto& device : bus.devices) {
        if (!bus.Present(*device, now)) continue;
        if (vendor_id != 0 && device->setup.vendorId != vendor_id) continue;
        if (product_id != 0 && device->setup.productId != product_id) continue;
        hid_device_info* info = MakeInfo(*device);
        if (info == nullptr) break;
        *tail = info;
        tail = &info->next;
        ++given;
    }
    bus.LogCall("hid_enumerate " + std::to_string(given));
    return first;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
    UnsafeCall unsafe;
    FreeInfoList(devs);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number) {
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    const Clock::time_point now = Clock::now();
    bus.Refresh(now);
    for (auto& device : bus.devices) {
        if (!bus.Present(*device, now) || device->setup.vendorId != vendor_id ||
            device->setup.productId != product_id) {
            continue;
        }
        if (serial_number != nullptr &&
            (!device->setup.serialNumber || *device->setup.serialNumber != serial_number)) {
            continue;
        }
        return OpenHandle(bus, *device);
    }
    return nullptr;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
    velnorsim::PassHold(velnorsim::Call::OpenPath);
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    if (path == nullptr) return nullptr;
    bus.LogCall(std::string("hid_open_path ") + path);
    const Clock::time_point now = Clock::now();
    bus.Refresh(now);
    for (auto& device : bus.devices) {
        if (bus.Present(*device, now) && device->setup.path == path) return OpenHandle(bus, *device);
    }
    return nullptr;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    velnorsim::PassHold(velnorsim::Call::Write);
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    if (!Known(bus, dev) || data == nullptr || length == 0) return -1;
    const Clock::time_point now = Clock::now();
    SimDevice* device = bus.LiveDevice(dev, now);
    if (device == nullptr || device->writesFail) return -1;
    const velnorsim::Report report(data, data + length);
    if (device->setup.keypad) {
        if (const auto refused = device->keypad.RefusesWrite(report)) {
            return *refused == velnorsim::FaultKind::ShortWrite ? static_cast<int>(length) - 1 : -1;
        }
    }
    device->received.push_back(report);
    device->receivedAt.push_back(now);
    bus.LogOutputReport(*device, report);
    if (!device->setup.keypad) return static_cast<int>(length);

    velnorsim::SimKeypad::Outcome outcome = device->keypad.OnOutputReport(report, now);
    bus.Deliver(*device, std::move(outcome.replies));
    if (outcome.restartAt) {
        device->renumberDue = true;
        device->awayFrom = *outcome.restartAt;
        device->awayUntil = *outcome.restartAt + std::chrono::milliseconds(device->setup.resetAbsentMs);
    }
    if (outcome.unplugForMs) {
        device->renumberDue = true;
        device->awayFrom = now;
        device->awayUntil = *outcome.unplugForMs > 0 ? now + std::chrono::milliseconds(*outcome.unplugForMs)
                                                     : Clock::time_point::max();
        bus.Disappear(*device);
    }
    if (outcome.stateChanged) bus.WriteStateFile();
    return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                                 int milliseconds) {
    velnorsim::PassHold(velnorsim::Call::ReadTimeout);
    Bus& bus = Bus::Get();
    std::unique_lock lock(bus.mutex);
    if (!Known(bus, dev) || data == nullptr) return -1;
    ++dev->readsInProgress;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    int result = 0;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (dev->closed) {
            result = -1;
            break;
        }
        SimDevice* device = bus.LiveDevice(dev, now);
        // What a device that left sent before it left can still be read; nothing later.
        if (const SimDevice* left = bus.Find(dev->deviceId); left != nullptr && now >= left->leavesAt) {
            while (!dev->input.empty() && dev->input.back().readyAt > left->leavesAt) dev->input.pop_back();
        }
        if (device != nullptr && device->readsFail) {
            result = -1;
            break;
        }
        if (!dev->input.empty() && dev->input.front().readyAt <= now) {
            const velnorsim::Report& report = dev->input.front().bytes;
            const size_t count = std::min(length, report.size());
            std::memcpy(data, report.data(), count);
            dev->input.pop_front();
            result = static_cast<int>(count);
            break;
        }
        if (device == nullptr) {
            result = -1;
            break;
        }
        if (milliseconds == 0 || (milliseconds > 0 && now >= deadline)) break;
        Clock::time_point wakeAt = milliseconds > 0 ? deadline : now + std::chrono::hours(1);
        if (!dev->input.empty()) wakeAt = std::min(wakeAt, dev->input.front().readyAt);
        if (device->awayFrom > now) wakeAt = std::min(wakeAt, device->awayFrom);
        if (device->leavesAt > now) wakeAt = std::min(wakeAt, device->leavesAt);
        bus.changed.wait_until(lock, wakeAt);
    }
    if (--dev->readsInProgress == 0 && dev->closed) {
        FreeInfoList(dev->info);
        delete dev;
    }
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length) {
    bool nonblocking = false;
    {
        Bus& bus = Bus::Get();
        std::lock_guard lock(bus.mutex);
        if (!Known(bus, dev)) return -1;
        nonblocking = dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int nonblock) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    if (!Known(bus, dev)) return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

// The keypad has no feature or input reports to get or set.
int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device*, const unsigned char*, size_t) { return -1; }
int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device*, unsigned char*, size_t) { return -1; }
int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device*, unsigned char*, size_t) { return -1; }

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
    velnorsim::PassHold(velnorsim::Call::Close);
    UnsafeCall unsafe;
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    if (!Known(bus, dev)) return;
    bus.handles.erase(std::find(bus.handles.begin(), bus.handles.end(), dev));
    --bus.counters.openHandles;
    if (dev->readsInProgress > 0) {
        ++bus.counters.closesDuringRead;
        dev->closed = true;
        bus.changed.notify_all();
        return;
    }
    FreeInfoList(dev->info);
    delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return GetString(dev, &velnorsim::DeviceSetup::manufacturer, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return GetString(dev, &velnorsim::DeviceSetup::product, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return GetString(dev, &velnorsim::DeviceSetup::serialNumber, string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev) {
    Bus& bus = Bus::Get();
    std::lock_guard lock(bus.mutex);
    return Known(bus, dev) ? dev->info : nullptr;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device*, int, wchar_t*, size_t) { return -1; }

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device*) { return L"simulated keypad: no such device"; }

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void) {
    static constexpr hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void) { return HID_API_VERSION_STR; }

}  // extern "C"
#pragma GCC visibility pop
