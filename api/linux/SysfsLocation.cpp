// sysfs links a hidraw node to its HID device, which lies below the USB interface and the USB
// device it belongs to: .../usb1/1-2/1-2.3/1-2.3:1.1/0003:2047:09BF.0004. The USB device's
// directory is named after its port chain. The links are followed one at a time with readlink
// (not realpath), which is what a sysfs emulated for tests intercepts as well.
#include "SysfsLocation.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <regex>

namespace velnor {

namespace {

namespace fs = std::filesystem;

// The path with every symbolic link among its components resolved, lexically.
fs::path Resolve(const fs::path& path) {
    fs::path resolved;
    for (const fs::path& part : path) {
        resolved /= part;
        for (int hops = 0; hops < 16; ++hops) {
            char target[4096];
            const ssize_t length = readlink(resolved.c_str(), target, sizeof target - 1);
            if (length <= 0) break;
            const fs::path link(std::string(target, static_cast<std::size_t>(length)));
            resolved = (link.is_absolute() ? link : resolved.parent_path() / link).lexically_normal();
        }
    }
    return resolved;
}

bool IsPortChain(const std::string& name) {
    static const std::regex kPortChain("[0-9]+-[0-9]+(\\.[0-9]+)*");
    return std::regex_match(name, kPortChain);
}

}  // namespace

std::string UsbLocationOfHidraw(const std::string& path) {
    static const std::regex kHidrawNode("(.*)/dev/(hidraw[0-9]+)");
    std::smatch node;
    if (!std::regex_match(path, node, kHidrawNode)) return {};
    try {
        const fs::path device = Resolve(fs::path(node[1].str() + "/sys/class/hidraw") / node[2].str() / "device");
        for (fs::path at = device; at.has_relative_path(); at = at.parent_path()) {
            const std::string name = at.filename().string();
            if (IsPortChain(name)) return name;
        }
    } catch (...) {
        // A path the filesystem library cannot take: no location.
    }
    return {};
}

}  // namespace velnor
