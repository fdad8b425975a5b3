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
#include <future>
#include <stdexcept>

#include "support/Run.h"

namespace velnortest {

namespace {

// A vendor-defined page with one 63-byte input and output report, ID 0x3F.
const unsigned char kReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x3F, 0x95,
                                           0x3F, 0x75, 0x08, 0x26, 0xFF, 0x00, 0x15, 0x00, 0x09, 0x01,
                                           0x81, 0x02, 0x85, 0x3F, 0x09, 0x01, 0x91, 0x02, 0xC0};

std::string Owned(gchar* text) {
    std::string copy = text != nullptr ? text : "";
    g_free(text);
    return copy;
}

}  // namespace

TestBed::TestBed() {
    bed_ = umockdev_testbed_new();
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    loopThread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    loopThread_.detach();  // runs until the process ends, as the bed lives
}

TestBed& TestBed::Get() {
    static TestBed* bed = new TestBed();  // never destroyed: the loop thread uses it to the end
    return *bed;
}

bool TestBed::OnLoopThread(const std::function<bool()>& work) {
    std::packaged_task<bool()> task(work);
    std::future<bool> result = task.get_future();
    g_main_context_invoke(
        context_,
        [](gpointer data) -> gboolean {
            (*static_cast<std::packaged_task<bool()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        &task);
    return result.get();
}

EmulatedKeypad::EmulatedKeypad(KeypadOptions options)
    : options_(std::move(options)), testBed_(TestBed::Get()), bed_(testBed_.bed()), keypad_([&] {
          velnorsim::DeviceSetup setup;
          setup.settings = options_.settings;
          return setup;
      }()) {
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
    return {plugs_, received_, keypad_.ram, keypad_.flash};
}

std::string EmulatedKeypad::Node() const {
    std::lock_guard lock(mutex_);
    return node_;
}

void EmulatedKeypad::PlugLocked() {
    if (master_ >= 0) return;
    std::lock_guard bedLock(testBed_.mutex());
    ++plugs_;
    const int n = testBed_.NextNode();
    const std::string& usbName = options_.port;
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "0003:2047:09BF.%04X", n + 1);
    node_ = "/dev/hidraw" + std::to_string(n);

    const std::string usb = Owned(umockdev_testbed_add_device(
        bed_, "usb", usbName.c_str(), nullptr, "idVendor", "2047", "idProduct", "09bf", "product",
        options_.product.c_str(), "bcdDevice", "0100", "busnum", "1", "devnum", std::to_string(n + 2).c_str(), nullptr,
        "DEVTYPE", "usb_device", nullptr));
    if (!options_.manufacturer.empty()) {
        umockdev_testbed_set_attribute(bed_, usb.c_str(), "manufacturer", options_.manufacturer.c_str());
    }
    if (!options_.usbSerial.empty()) umockdev_testbed_set_attribute(bed_, usb.c_str(), "serial", options_.usbSerial.c_str());
    const std::string interface0 = Owned(umockdev_testbed_add_device(bed_, "usb", (usbName + ":1.0").c_str(), usb.c_str(),
                                                                     "bInterfaceNumber", "00", nullptr, "DEVTYPE",
                                                                     "usb_interface", nullptr));
    std::string parent = interface0;
    std::string interface1;
    if (options_.interfaceOne) {
        interface1 = Owned(umockdev_testbed_add_device(bed_, "usb", (usbName + ":1.1").c_str(), usb.c_str(),
                                                       "bInterfaceNumber", "01", nullptr, "DEVTYPE", "usb_interface",
                                                       nullptr));
        parent = interface1;
    }
    const std::string hid = Owned(umockdev_testbed_add_device(bed_, "hid", hidName, parent.c_str(), nullptr,
                                                              "HID_ID", "0003:00002047:000009BF", "HID_NAME",
                                                              options_.product.c_str(), "HID_UNIQ",
                                                              options_.usbSerial.c_str(), nullptr));
    umockdev_testbed_set_attribute_binary(bed_, hid.c_str(), "report_descriptor",
                                          const_cast<guint8*>(kReportDescriptor), sizeof kReportDescriptor);
    // The hidraw node, with the link to its HID device that enumeration follows.
    const std::string raw = hid + "/hidraw/hidraw" + std::to_string(n);
    const std::string description = "P: " + raw.substr(4) + "\nN: hidraw" + std::to_string(n) + "\nE: DEVNAME=" +
                                    node_ + "\nE: SUBSYSTEM=hidraw\nE: MAJOR=241\nE: MINOR=" + std::to_string(n) +
                                    "\nA: dev=241:" + std::to_string(n) + "\nL: device=../../../" + std::string(hidName) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, description.c_str(), &error)) {
        const std::string message = error->message;
        g_error_free(error);
        throw std::runtime_error("umockdev: " + message);
    }
    devices_ = {usb, interface0};
    if (!interface1.empty()) devices_.push_back(interface1);
    devices_.push_back(hid);
    devices_.push_back(raw);

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

    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
    if (!testBed_.OnLoopThread([this] { return umockdev_testbed_attach_ioctl(bed_, node_.c_str(), handler_, nullptr) != FALSE; })) {
        throw std::runtime_error("umockdev: cannot attach the ioctl handler to " + node_);
    }
}

void EmulatedKeypad::UnplugLocked() {
    if (master_ < 0) return;
    std::lock_guard bedLock(testBed_.mutex());
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device) {
        umockdev_testbed_uevent(bed_, device->c_str(), "remove");
    }
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device) {
        umockdev_testbed_remove_device(bed_, device->c_str());
    }
    testBed_.OnLoopThread([this] { return umockdev_testbed_detach_ioctl(bed_, node_.c_str(), nullptr) != FALSE; });
    g_object_unref(handler_);
    handler_ = nullptr;
    close(master_);  // the hang-up: the program's reads and writes on the node fail from here
    master_ = -1;
    pendingReplies_.clear();
    const std::string root = Owned(umockdev_testbed_get_root_dir(bed_));
    unlink(charLink_.c_str());
    // The kernel hands the pty's number out again; umockdev must not find it mapped still.
    unlink((root + "/dev/.ptymap/" + ptyMap_).c_str());
    devices_.clear();
}

gboolean EmulatedKeypad::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<EmulatedKeypad*>(self)->HandleIoctl(client) ? TRUE : FALSE;
}

bool EmulatedKeypad::HandleIoctl(UMockdevIoctlClient* client) {
    if (umockdev_ioctl_client_get_request(client) != HIDIOCGRDESCSIZE) return false;
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* size = umockdev_ioctl_data_resolve(argument, 0, sizeof(int), nullptr);
    if (size == nullptr) return false;
    const int length = sizeof kReportDescriptor;
    std::memcpy(size->data, &length, sizeof length);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
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
            if (ready.revents & (POLLHUP | POLLERR)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
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
        velnorsim::SimKeypad::Outcome outcome = keypad_.OnOutputReport(collecting, std::chrono::steady_clock::now());
        collecting.clear();
        for (auto& reply : outcome.replies) pendingReplies_.push_back(std::move(reply));
        if (outcome.restartAt) {
            restarting_ = true;
            // A real node keeps reports already received when the device goes; a pty that hangs up
            // drops them. The keypad restarts once the library has read its reply.
            restartAt_ = *outcome.restartAt + std::chrono::milliseconds(300);
            backAt_ = restartAt_ + std::chrono::milliseconds(options_.restartMs);
        }
    }
}

}  // namespace velnortest
