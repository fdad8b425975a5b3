// sysfs links a hidraw node to its HID device, which lies below the USB interface and the USB
// device it belongs to: .../usb1/1-2/1-2.3/1-2.3:1.1/0003:2047:09BF.0004. The USB device's
// directory is named after its port chain. The links are followed one at a time with readlink
// (not realpath), which is what a sysfs emulated for tests intercepts as well.
#include "SysfsLocation.h"

#include <unistd.h>

#include <filesystem>
#include <string_view>

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

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// BUS-PORT(.PORT)*, as the kernel names a USB device: 1-2, 1-2.3, 3-10.1.4.
bool IsPortChain(std::string_view name) {
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash))) return false;
    for (std::string_view rest = name.substr(dash + 1);;) {
        const std::size_t dot = rest.find('.');
        if (!AllDigits(rest.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        rest.remove_prefix(dot + 1);
    }
}

// ROOT/dev/hidrawN: the folder above /dev (ROOT) and the node's name; false for any other path.
bool SplitHidrawNode(const std::string& path, std::string& root, std::string& node) {
    const std::size_t slash = path.rfind("/dev/hidraw");
    if (slash == std::string::npos || !AllDigits(std::string_view(path).substr(slash + 11))) return false;
    root = path.substr(0, slash);
    node = path.substr(slash + 5);
    return true;
}

}  // namespace

std::string UsbLocationOfHidraw(const std::string& path) {
    std::string root;
    std::string node;
    if (!SplitHidrawNode(path, root, node)) return {};
    try {
        const fs::path device = Resolve(fs::path(root + "/sys/class/hidraw") / node / "device");
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
