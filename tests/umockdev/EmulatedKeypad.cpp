#include "EmulatedKeypad.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <stdexcept>

#include "support/Run.h"

namespace velnortest {

namespace {

// A vendor-defined page with one 63-byte input and output report, ID 0x3F.
const char kReportDescriptor[] = "0600ff0901a101853f953f750826ff00150009018102853f09019102c0";

std::string Owned(gchar* text) {
    std::string copy = text != nullptr ? text : "";
    g_free(text);
    return copy;
}

// A USB string as sysfs gives it: UTF-8; "" for none.
std::string Utf8(const std::optional<std::wstring>& text) {
    const std::wstring wide = text.value_or(L"");
    return Owned(g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(wide.data()), static_cast<glong>(wide.size()), nullptr, nullptr, nullptr));
}

// One test bed for the process (umockdev's environment is process-wide), with the thread that
// runs its ioctl handlers; never destroyed, as that thread runs to the end. Keypads plugged in
// share it and number their nodes from it, holding its mutex around every change.
struct TestBed {
    UMockdevTestbed* bed = umockdev_testbed_new();
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    std::mutex mutex;
    int nextNode = 0;

    TestBed() {
        std::thread([this] {
            g_main_context_push_thread_default(context);
            g_main_loop_run(loop);
        }).detach();
    }
    // Runs the work on the loop thread (ioctl handlers belong to the thread's main context).
    bool OnLoopThread(std::function<bool()> work) {
        std::packaged_task<bool()> task(std::move(work));
        std::future<bool> result = task.get_future();
        g_main_context_invoke(context, [](gpointer data) -> gboolean {
            (*static_cast<std::packaged_task<bool()>*>(data))();
            return G_SOURCE_REMOVE;
        }, &task);
        return result.get();
    }
};

// Answers HIDIOCGRDESCSIZE, the one ioctl hid_open_path makes; any other goes on to the pty.
gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    if (umockdev_ioctl_client_get_request(client) != HIDIOCGRDESCSIZE) return FALSE;
    UMockdevIoctlData* size = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(int), nullptr);
    if (size == nullptr) return FALSE;
    const int length = sizeof kReportDescriptor / 2;
    std::memcpy(size->data, &length, sizeof length);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

TestBed& Bed() {
    static TestBed* bed = new TestBed();
    return *bed;
}

}  // namespace

EmulatedKeypad::EmulatedKeypad(KeypadOptions options)
    : options_(std::move(options)), bed_(Bed().bed), keypad_(options_) {
    Plug();
    serveThread_ = std::thread([this] { Serve(); });
}

EmulatedKeypad::~EmulatedKeypad() {
    stop_ = true;
    if (serveThread_.joinable()) serveThread_.join();
    Unplug();
}

void EmulatedKeypad::Plug() {
    std::lock_guard lock(mutex_);
    PlugLocked();
}

void EmulatedKeypad::Unplug() {
    std::lock_guard lock(mutex_);
    UnplugLocked();
}

EmulatedKeypad::Seen EmulatedKeypad::Now() const {
    std::lock_guard lock(mutex_);
    return {plugs_, received_, keypad_.ram, keypad_.flash, pluggedAt_, firstReportAt_};
}

std::string EmulatedKeypad::Node() const {
    std::lock_guard lock(mutex_);
    return node_;
}

void EmulatedKeypad::PlugLocked() {
    if (master_ >= 0) return;
    std::lock_guard bedLock(Bed().mutex);
    ++plugs_;
    const int n = Bed().nextNode++;
    node_ = "/dev/hidraw" + std::to_string(n);
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "0003:2047:09BF.%04X", n + 1);
    // The USB device, its interfaces, the HID device on the last one and its hidraw node, parents
    // first, with the node's link to its HID device that enumeration follows.
    const std::string usb = "/sys/devices/" + options_.location;
    devices_ = {usb, usb + "/" + options_.location + ":1.0"};
    if (options_.interfaceNumber == 1) devices_.push_back(usb + "/" + options_.location + ":1.1");
    devices_.push_back(devices_.back() + "/" + hidName);
    devices_.push_back(devices_.back() + "/hidraw/hidraw" + std::to_string(n));
    std::string description = "P: " + usb.substr(4) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=2047\n" +
                              "A: idProduct=09bf\nA: bcdDevice=0100\nA: busnum=1\nA: devnum=" + std::to_string(n + 2) +
                              "\nA: product=" + Utf8(options_.product) + "\n";
    if (options_.manufacturer) description += "A: manufacturer=" + Utf8(options_.manufacturer) + "\n";
    if (options_.serialNumber) description += "A: serial=" + Utf8(options_.serialNumber) + "\n";
    for (std::size_t i = 1; i + 2 < devices_.size(); ++i) {
        description += "\nP: " + devices_[i].substr(4) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=0" +
                       std::to_string(i - 1) + "\n";
    }
    const std::string& raw = devices_.back();
    description += "\nP: " + devices_[devices_.size() - 2].substr(4) + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00002047:000009BF\n" +
                   "E: HID_NAME=" + Utf8(options_.product) + "\nE: HID_UNIQ=" + Utf8(options_.serialNumber) + "\nH: report_descriptor=" +
                   kReportDescriptor + "\n\nP: " + raw.substr(4) + "\nN: hidraw" + std::to_string(n) + "\nE: DEVNAME=" + node_ +
                   "\nE: SUBSYSTEM=hidraw\nE: MAJOR=241\nE: MINOR=" + std::to_string(n) + "\nA: dev=241:" + std::to_string(n) +
                   "\nL: device=../../../" + hidName + "\n";
    // The ioctl handler before the node: a program that opens the node as soon as it hears of it
    // finds it answering, as a kernel's node does.
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), nullptr);
    if (!Bed().OnLoopThread([this] { return umockdev_testbed_attach_ioctl(bed_, node_.c_str(), handler_, nullptr) != FALSE; })) {
        throw std::runtime_error("umockdev: cannot attach the ioctl handler to " + node_);
    }
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, description.c_str(), &error)) {
        const std::string message = error->message;
        g_error_free(error);
        throw std::runtime_error("umockdev: " + message);
    }
    pluggedAt_ = std::chrono::steady_clock::now();  // the hidraw node's "add" was the last uevent
    firstReportAt_ = {};

    master_ = umockdev_testbed_get_dev_fd(bed_, node_.c_str());
    if (master_ < 0) throw std::runtime_error("umockdev: no pty behind " + node_);
    termios mode{};
    tcgetattr(master_, &mode);
    cfmakeraw(&mode);
    tcsetattr(master_, TCSANOW, &mode);
    // Programs started later must not hold the test side open: its hang-up is the unplug.
    fcntl(master_, F_SETFD, fcntl(master_, F_GETFD) | FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    // This umockdev does not intercept fstat: the string getters look the node up by the pty's
    // own device number, so the hidraw device must carry it and sys/dev/char must lead to it.
    const std::string slaveName = ptsname(master_);
    ptyMap_ = slaveName;  // /dev/pts/3 is mapped as dev/.ptymap/_dev_pts_3
    for (char& c : ptyMap_) c = c == '/' ? '_' : c;
    struct stat slave {};
    if (stat(slaveName.c_str(), &slave) != 0) throw std::runtime_error("umockdev: no pty slave");
    const unsigned major = ::major(slave.st_rdev);
    const unsigned minor = ::minor(slave.st_rdev);
    const std::string number = std::to_string(major) + ":" + std::to_string(minor);
    umockdev_testbed_set_property_int(bed_, raw.c_str(), "MAJOR", static_cast<gint>(major));
    umockdev_testbed_set_property_int(bed_, raw.c_str(), "MINOR", static_cast<gint>(minor));
    umockdev_testbed_set_attribute(bed_, raw.c_str(), "dev", number.c_str());
    const std::string root = Owned(umockdev_testbed_get_root_dir(bed_));
    mkdir((root + "/sys/dev").c_str(), 0755);
    mkdir((root + "/sys/dev/char").c_str(), 0755);
    charLink_ = root + "/sys/dev/char/" + number;
    unlink(charLink_.c_str());
    if (symlink(("../.." + raw.substr(4)).c_str(), charLink_.c_str()) != 0) throw std::runtime_error("umockdev: link");

}

void EmulatedKeypad::UnplugLocked() {
    if (master_ < 0) return;
    std::lock_guard bedLock(Bed().mutex);
    const std::string root = Owned(umockdev_testbed_get_root_dir(bed_));
    // Gone from listings at once, as the udev monitor's "remove" tells of a device that is gone:
    // a listing while the test bed takes the tree down must not find the node half there.
    unlink((root + "/sys/class/hidraw/" + node_.substr(5)).c_str());
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device) {
        umockdev_testbed_uevent(bed_, device->c_str(), "remove");
    }
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device) {
        umockdev_testbed_remove_device(bed_, device->c_str());
    }
    Bed().OnLoopThread([this] { return umockdev_testbed_detach_ioctl(bed_, node_.c_str(), nullptr) != FALSE; });
    g_object_unref(handler_);
    handler_ = nullptr;
    close(master_);  // the hang-up: the program's reads and writes on the node fail from here
    master_ = -1;
    pendingReplies_.clear();
    unlink(charLink_.c_str());
    // The kernel hands the pty's number out again; umockdev must not find it mapped still.
    unlink((root + "/dev/.ptymap/" + ptyMap_).c_str());
    devices_.clear();
}

// One output report is 64 bytes of the pty's byte stream; replies go back as 64-byte reports.
void EmulatedKeypad::Serve() {
    velnorsim::Report collecting;
    while (!stop_) {
        int master = -1;
        {
            std::lock_guard lock(mutex_);
            const auto now = std::chrono::steady_clock::now();
            if (restarting_ && master_ >= 0 && now >= restartAt_) {
                UnplugLocked();
            }
            if (restarting_ && master_ < 0 && now >= backAt_) {
                restarting_ = false;
                PlugLocked();
                collecting.clear();
            }
            for (auto reply = pendingReplies_.begin(); master_ >= 0 && reply != pendingReplies_.end();) {
                if (reply->readyAt > now) {
                    ++reply;
                    continue;
                }
                WriteAll(master_, std::string_view(reinterpret_cast<const char*>(reply->bytes.data()), reply->bytes.size()));
                reply = pendingReplies_.erase(reply);
            }
            master = master_;
        }
        if (master < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 5) <= 0 || (ready.revents & POLLIN) == 0) {
            // Until the program opens the node, the test side reads nothing but errors.
            if (ready.revents & (POLLHUP | POLLERR)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        std::uint8_t bytes[64];
        std::lock_guard lock(mutex_);
        if (master_ != master) continue;
        const ssize_t count = read(master, bytes, sizeof bytes - collecting.size());
        if (count <= 0) continue;
        collecting.insert(collecting.end(), bytes, bytes + count);
        if (collecting.size() < 64) continue;
        ++received_;
        if (firstReportAt_ == std::chrono::steady_clock::time_point{}) firstReportAt_ = std::chrono::steady_clock::now();
        velnorsim::SimKeypad::Outcome outcome = keypad_.OnOutputReport(collecting, std::chrono::steady_clock::now());
        collecting.clear();
        for (auto& reply : outcome.replies) pendingReplies_.push_back(std::move(reply));
        if (outcome.restartAt) {
            restarting_ = true;
            // A real node keeps reports already received when the device goes; a pty that hangs up
            // drops them. The keypad restarts once the library has read its reply.
            restartAt_ = *outcome.restartAt + std::chrono::milliseconds(300);
            backAt_ = restartAt_ + std::chrono::milliseconds(options_.resetAbsentMs);
        }
    }
}

}  // namespace velnortest
