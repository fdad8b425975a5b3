// Opening, reopening and closing the keypad, and the HID layer's interface-aware hid_open,
// against the simulated keypad behind the shipped library.
#include <gtest/gtest.h>

#include <vector>

#include "support/KeypadTest.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/VelnorHid.h"

using namespace velnortest;

namespace {

constexpr int kVendor = 8263;
constexpr int kProduct = 2495;

velnorsim::DeviceSetup Device(std::uint16_t vendor, std::uint16_t product, int interfaceNumber) {
    velnorsim::DeviceSetup setup;
    setup.vendorId = vendor;
    setup.productId = product;
    setup.interfaceNumber = interfaceNumber;
    return setup;
}

using ConnectionTest = BusTest;

TEST_F(ConnectionTest, OpensTheFirstMatchingDeviceOnInterfaceOneAndReadsItsStrings) {
    const auto keypad = [](std::optional<std::wstring> manufacturer, std::optional<std::wstring> product) {
        velnorsim::DeviceSetup setup = Device(0x2047, 0x09BF, 1);
        setup.manufacturer = std::move(manufacturer);
        setup.product = std::move(product);
        return setup;
    };
    const struct {
        const char* name;
        std::vector<velnorsim::DeviceSetup> devices;
        int expectedOpen;  // index of the device that must be opened, -1 for none
        std::string manufacturerRead = "Velnor";
        std::string productRead = "Velnor Keypad";
        int vendor = kVendor;
        int product = kProduct;
    } layouts[] = {
        {"keypad alone", {Device(0x2047, 0x09BF, 1)}, 0},
        {"only interface 0", {Device(0x2047, 0x09BF, 0)}, -1},
        {"interface 0 listed first", {Device(0x2047, 0x09BF, 0), Device(0x2047, 0x09BF, 1)}, 1},
        {"two keypads", {Device(0x2047, 0x09BF, 1), Device(0x2047, 0x09BF, 1)}, 0},
        {"other products around",
         {Device(0x2047, 0x09C0, 1), Device(0x1234, 0x09BF, 1), Device(0x2047, 0x09BF, 2), Device(0x2047, 0x09BF, 1)},
         3},
        {"no devices", {}, -1},
        {"only the low 16 bits of the ids count", {Device(0x2047, 0x09BF, 1)}, 0, "Velnor", "Velnor Keypad",
         kVendor | 0x30000, kProduct | 0x7FFF0000},
        {"no manufacturer string", {keypad(std::nullopt, L"Keypad")}, 0, "Unable To Find", "Keypad"},
        {"no product string", {keypad(L"Velnor", std::nullopt)}, 0, "Velnor", "Unable To Find"},
        {"characters beyond ASCII become blanks", {keypad(L"Veln\u00f6r \u20ac", L"Keyp\u00e4d")}, 0, "Veln r  ", "Keyp d"},
        {"empty strings", {keypad(L"", L"")}, 0, "", ""},
        {"long strings are cut to the buffer", {keypad(std::wstring(400, L'M'), L"")}, 0, std::string(259, 'M'), ""},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        velnorsim::RemoveAllDevices();
        std::vector<velnorsim::DeviceId> ids;
        for (const auto& setup : layout.devices) ids.push_back(velnorsim::AddDevice(setup));
        const bool opens = layout.expectedOpen >= 0;
        StdoutCapture capture;
        {
            PlixoApi api;
            EXPECT_EQ(api.InitialiseBrellUSBDevice(layout.vendor, layout.product), opens);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_EQ(velnorsim::OpenHandleCount(ids[i]), static_cast<int>(i) == layout.expectedOpen ? 1 : 0) << i;
            }
            // While no keypad is open the worker rewrites them ("None") at each attempt: not read then.
            if (opens) {
                EXPECT_EQ(PlixoApiTestPeer::Manufacturer(api), layout.manufacturerRead);
                EXPECT_EQ(PlixoApiTestPeer::Product(api), layout.productRead);
            }
            EXPECT_EQ(PlixoApiTestPeer::State(api) == ConnectionState::Connected, opens);
        }
        const std::string output = capture.Take();
        char lines[64];
        std::snprintf(lines, sizeof lines, "vid %d pid %d\r\nvid %x pid %x \r\n", layout.vendor, layout.product,
                      layout.vendor, layout.product);
        const std::string trace = "called constructer 1\r\n" + std::string(lines) + "manufacture " +
                                  (opens ? layout.manufacturerRead + "\r\nConnected\r\n" : "none\r\nNot connected\r\n");
        EXPECT_EQ(Visible(output.substr(0, trace.size())), Visible(trace));
        // The destructor closed what was opened and ended hidapi.
        for (const auto id : ids) EXPECT_EQ(velnorsim::OpenHandleCount(id), 0);
        EXPECT_GE(velnorsim::GetCounters().exitCalls, 1);
    }
}

TEST_F(ConnectionTest, HidapiThatCannotStartLeavesTheKeypadUnopened) {
    velnorsim::AddDevice(Device(0x2047, 0x09BF, 1));
    velnorsim::SetInitFails(true);
    StdoutCapture capture;
    PlixoApi api;
    EXPECT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    // No "vid %x" line and the texts stay empty: the open never began.
    EXPECT_EQ(Visible(capture.Take()), Visible("called constructer 1\r\nvid 8263 pid 2495\r\nNot connected\r\n"));
    EXPECT_EQ(PlixoApiTestPeer::Manufacturer(api), "");
    velnorsim::SetInitFails(false);
    EXPECT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }));
}

TEST_F(ConnectionTest, FindUsbDeviceWalksTheWholeBusUpToTheMatch) {
    PlixoApi api;
    StdoutCapture empty;
    EXPECT_EQ(api.findUSBDevice(kVendor, kProduct), 0);
    EXPECT_EQ(empty.Take(), "") << "an empty bus prints nothing";

    velnorsim::AddDevice(Device(0x1111, 0x2222, 0));
    velnorsim::AddDevice(Device(0x2047, 0x0001, 0));
    velnorsim::AddDevice(Device(0x2047, 0x09BF, 0));  // any interface counts here
    velnorsim::AddDevice(Device(0x3333, 0x4444, 1));
    const struct { const char* name; int vendor, product, expected; std::size_t linesPrinted; } cases[] = {
        {"match third", kVendor, kProduct, 1, 3},
        {"match first", 0x1111, 0x2222, 1, 1},
        {"no match", 0x2047, 0x0002, 0, 4},
        {"bits above 16", kVendor | 0x10000, kProduct, 0, 4},
    };
    const char* lines[] = {"USB Device: VID 1111, PID 2222 \r\n", "USB Device: VID 2047, PID 1 \r\n",
                           "USB Device: VID 2047, PID 9bf \r\n", "USB Device: VID 3333, PID 4444 \r\n"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        EXPECT_EQ(api.findUSBDevice(c.vendor, c.product), c.expected);
        std::string expected;
        for (std::size_t i = 0; i < c.linesPrinted; ++i) expected += lines[i];
        EXPECT_EQ(Visible(capture.Take()), Visible(expected));
    }
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::NotConnected);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
}

TEST_F(KeypadTest, SecondInitialiseReopensOnTheSameWorkerNeverClosingAHandleWhileItIsRead) {
    const auto worker = PlixoApiTestPeer::WorkerId(api);
    int jack = 0;
    // First while the worker is in a read: held at the read's start until the reopening has asked
    // it to pause.
    velnorsim::HoldCalls(velnorsim::Call::ReadTimeout);
    ASSERT_TRUE(velnorsim::WaitForHeldCall(velnorsim::Call::ReadTimeout, kEventuallyMs));
    StdoutCapture capture;
    std::thread reopening([&] { EXPECT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct)); });
    EXPECT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::PauseRequested(api); }));
    velnorsim::ReleaseCalls(velnorsim::Call::ReadTimeout);
    reopening.join();
    EXPECT_EQ(Visible(capture.Take()),
              Visible("vid 8263 pid 2495\r\nvid 2047 pid 9bf \r\nmanufacture Velnor\r\nConnected\r\n"));
    EXPECT_EQ(PlixoApiTestPeer::WorkerId(api), worker);
    EXPECT_EQ(api.GetJackStatus(&jack, kPatientMs), 0);
    // Then right after an exchange, while the worker waits for requests.
    EXPECT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_EQ(api.GetJackStatus(&jack, kPatientMs), 0);
    const auto counters = velnorsim::GetCounters();
    EXPECT_EQ(counters.closesDuringRead, 0);
    EXPECT_EQ(counters.overlappingUnsafeCalls, 0);
    EXPECT_EQ(counters.openHandles, 1);
    EXPECT_EQ(velnorsim::OpenHandleCount(keypad), 1);
}

TEST_F(ConnectionTest, HidapiCallsFromCallersAndTheWorkerNeverOverlap) {
    PlixoApi api;
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));  // the worker keeps reconnecting
    velnorsim::AddDevice(Device(0x2047, 0x09BF, 0));                // enumerated, never opened
    StdoutCapture capture;
    // Callers enumerate in bursts until the worker has made three more attempts of its own.
    const int attempts = velnorsim::GetCounters().initCalls;
    EXPECT_TRUE(WaitUntil([&] {
        for (int i = 0; i < 20; ++i) api.findUSBDevice(kVendor, kProduct);
        return velnorsim::GetCounters().initCalls >= attempts + 3;
    }));
    capture.Take();
    EXPECT_EQ(velnorsim::GetCounters().overlappingUnsafeCalls, 0);
    EXPECT_EQ(velnorsim::GetCounters().closesDuringRead, 0);
}

// The HID layer's hid_open(vendor, product, interface, serial), beside hidapi's own.
TEST_F(ConnectionTest, HidOpenOpensByInterfaceOrBySerialNumber) {
    const auto add = [](std::uint16_t vendor, int interfaceNumber, const wchar_t* serial) {
        velnorsim::DeviceSetup setup = Device(vendor, 0x09BF, interfaceNumber);
        setup.serialNumber = serial;
        return velnorsim::AddDevice(setup);
    };
    const std::vector<velnorsim::DeviceId> ids = {add(0x1234, 1, L"X1"), add(0x2047, 0, L"S1"), add(0x2047, 1, L"S2"),
                                                  add(0x2047, 1, L"S3")};  // the first of another vendor
    // opened: the index into ids, -1 for none.
    const struct { const char* name; int interfaceNumber; const wchar_t* serial; int opened; } cases[] = {
        {"interface 1", 1, nullptr, 2},
        {"interface 0", 0, nullptr, 1},
        {"255 is any interface", 255, nullptr, 1},
        {"no such interface", 2, nullptr, -1},
        {"a serial number decides alone", 0, L"S3", 3},
        {"no such serial number", 1, L"S9", -1},
        {"the other vendor's serial", 1, L"X1", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hid_device* device = hid_open(0x2047, 0x09BF, c.interfaceNumber, c.serial);
        EXPECT_EQ(device != nullptr, c.opened >= 0);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            EXPECT_EQ(velnorsim::OpenHandleCount(ids[i]), static_cast<int>(i) == c.opened ? 1 : 0) << i;
        }
        if (device != nullptr) hid_close(device);
    }
    // hidapi's own hid_open is still there, unchanged: the first match on any interface.
    hid_device* device = hid_open(0x2047, 0x09BF, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(velnorsim::OpenHandleCount(ids[1]), 1);
    hid_close(device);
}

}  // namespace
