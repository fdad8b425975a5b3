// The interface-aware open of the HID layer.
#include <cwchar>
#include <mutex>
#include <string>

#include "HidapiLock.h"
#include "velnor/VelnorHid.h"

namespace {
constexpr int kAnyInterface = 255;
}  // namespace

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, int interface_number,
                     const wchar_t* serial_number) {
    std::lock_guard lock(velnor::HidapiLock());
    try {
        std::string path;
        hid_device_info* devices = hid_enumerate(vendor_id, product_id);
        for (const hid_device_info* entry = devices; entry != nullptr; entry = entry->next) {
            if (entry->vendor_id != vendor_id || entry->product_id != product_id || entry->path == nullptr) continue;
            const bool chosen = serial_number != nullptr
                                    ? entry->serial_number != nullptr && std::wcscmp(entry->serial_number, serial_number) == 0
                                    : interface_number == kAnyInterface || entry->interface_number == interface_number;
            if (chosen) {
                path = entry->path;
                break;
            }
        }
        hid_free_enumeration(devices);
        return path.empty() ? nullptr : hid_open_path(path.c_str());
    } catch (...) {
        return nullptr;  // nothing leaves the library
    }
}
