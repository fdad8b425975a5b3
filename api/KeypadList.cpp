#include "KeypadList.h"

#include <hidapi.h>

#include <mutex>

#include "HidapiLock.h"
#include "WideText.h"
#include "linux/SysfsLocation.h"

namespace velnor {

namespace {

constexpr int kKeypadInterface = 1;
constexpr std::size_t kStringCapacity = 260;

std::string Utf8(const wchar_t* text) { return text != nullptr ? WideToUtf8(text, kStringCapacity) : std::string(); }

}  // namespace

std::vector<KEYPAD_ENTRY> EnumerateKeypads(int vendorId, int productId) {
    const auto vendor = static_cast<unsigned short>(vendorId & 0xFFFF);
    const auto product = static_cast<unsigned short>(productId & 0xFFFF);
    std::vector<KEYPAD_ENTRY> keypads;
    {
        std::lock_guard lock(HidapiLock());
        hid_device_info* devices = hid_enumerate(vendor, product);
        try {
            for (const hid_device_info* entry = devices; entry != nullptr; entry = entry->next) {
                if (entry->vendor_id != vendor || entry->product_id != product ||
                    entry->interface_number != kKeypadInterface || entry->path == nullptr) {
                    continue;
                }
                keypads.push_back(KEYPAD_ENTRY{entry->path, Utf8(entry->serial_number),
                                               Utf8(entry->manufacturer_string), Utf8(entry->product_string), {}});
            }
        } catch (...) {
            hid_free_enumeration(devices);
            throw;
        }
        hid_free_enumeration(devices);
    }
    // sysfs is read outside the hidapi lock: it is no hidapi call.
    for (KEYPAD_ENTRY& keypad : keypads) keypad.Location = UsbLocationOfHidraw(keypad.Path);
    return keypads;
}

}  // namespace velnor
