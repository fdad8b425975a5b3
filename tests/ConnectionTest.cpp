// Opening, reopening and closing the keypad, against the simulated keypad behind the shipped
// library.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

using namespace std::chrono_literals;
using velnortest::IsRepetitionOf;
using velnortest::StdoutCapture;
using velnortest::Visible;
using velnortest::WaitUntil;

namespace {

constexpr int kVendor = 8263;
constexpr int kProduct = 2495;
const std::string kReconnectAttempt = "vid 2047 pid 9bf \r\nmanufacture none\r\n";

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override { velnorsim::RemoveAllDevices(); }

    static velnorsim::DeviceId AddKeypad(int interfaceNumber = 1, std::string path = "") {
        velnorsim::DeviceSetup setup;
        setup.interfaceNumber = interfaceNumber;
        setup.path = std::move(path);
        return velnorsim::AddDevice(setup);
    }
};

struct BusLayout {
    const char* name;
    std::vector<velnorsim::DeviceSetup> devices;
    int expectedOpen;  // index of the device that must be opened, -1 for none
};

velnorsim::DeviceSetup Device(std::uint16_t vendor, std::uint16_t product, int interfaceNumber) {
    velnorsim::DeviceSetup setup;
    setup.vendorId = vendor;
    setup.productId = product;
    setup.interfaceNumber = interfaceNumber;
    return setup;
}

TEST_F(ConnectionTest, OpensTheFirstMatchingDeviceOnInterfaceOne) {
    const std::vector<BusLayout> layouts = {
        {"keypad alone", {Device(0x2047, 0x09BF, 1)}, 0},
        {"only interface 0", {Device(0x2047, 0x09BF, 0)}, -1},
        {"interface 0 listed first", {Device(0x2047, 0x09BF, 0), Device(0x2047, 0x09BF, 1)}, 1},
        {"two keypads", {Device(0x2047, 0x09BF, 1), Device(0x2047, 0x09BF, 1)}, 0},
        {"other products around",
         {Device(0x2047, 0x09C0, 1), Device(0x1234, 0x09BF, 1), Device(0x2047, 0x09BF, 2), Device(0x2047, 0x09BF, 1)},
         3},
        {"no devices", {}, -1},
    };
    for (const BusLayout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        velnorsim::RemoveAllDevices();
        std::vector<velnorsim::DeviceId> ids;
        for (const auto& setup : layout.devices) ids.push_back(velnorsim::AddDevice(setup));
        {
            PlixoApi api;
            EXPECT_EQ(api.InitialiseBrellUSBDevice(kVendor, kProduct), layout.expectedOpen >= 0);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_EQ(velnorsim::OpenHandleCount(ids[i]), static_cast<int>(i) == layout.expectedOpen ? 1 : 0)
                    << "device " << i;
            }
        }
        for (const auto id : ids) EXPECT_EQ(velnorsim::OpenHandleCount(id), 0);
    }
}

TEST_F(ConnectionTest, OnlyTheLow16BitsOfTheIdsAreUsedToOpen) {
    const auto id = AddKeypad();
    PlixoApi api;
    EXPECT_TRUE(api.InitialiseBrellUSBDevice(kVendor | 0x30000, kProduct | 0x7FFF0000));
    EXPECT_EQ(velnorsim::OpenHandleCount(id), 1);
}

struct TracePath {
    const char* name;
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> product;
    std::string expectedTrace;
    std::string expectedManufacturer;
    std::string expectedProduct;
};

TEST_F(ConnectionTest, TraceLinesAndStringsOfAnOpenedKeypad) {
    const std::string opening = "vid 8263 pid 2495\r\nvid 2047 pid 9bf \r\n";
    const std::vector<TracePath> paths = {
        {"both strings", L"Velnor", L"Keypad", "manufacture Velnor\r\n", "Velnor", "Keypad"},
        {"no manufacturer string", std::nullopt, L"Keypad", "manufacture Unable To Find\r\n", "Unable To Find",
         "Keypad"},
        {"no product string", L"Velnor", std::nullopt, "manufacture Velnor\r\n", "Velnor", "Unable To Find"},
        {"characters beyond ASCII become blanks", L"Veln\u00f6r \u20ac", L"Keyp\u00e4d", "manufacture Veln r  \r\n",
         "Veln r  ", "Keyp d"},
        {"empty strings", L"", L"", "manufacture \r\n", "", ""},
    };
    for (const TracePath& path : paths) {
        SCOPED_TRACE(path.name);
        velnorsim::RemoveAllDevices();
        velnorsim::DeviceSetup setup;
        setup.manufacturer = path.manufacturer;
        setup.product = path.product;
        velnorsim::AddDevice(setup);
        StdoutCapture capture;
        auto api = std::make_unique<PlixoApi>();
        ASSERT_TRUE(api->InitialiseBrellUSBDevice(kVendor, kProduct));
        EXPECT_EQ(PlixoApiTestPeer::Manufacturer(*api), path.expectedManufacturer);
        EXPECT_EQ(PlixoApiTestPeer::Product(*api), path.expectedProduct);
        EXPECT_EQ(PlixoApiTestPeer::State(*api), ConnectionState::Connected);
        api.reset();
        const std::string output = capture.Take();
        const std::string expected = "called constructer 1\r\n" + opening + path.expectedTrace + "Connected\r\n";
        EXPECT_EQ(Visible(output.substr(0, expected.size())), Visible(expected));
    }
}

TEST_F(ConnectionTest, LongStringsAreCutToTheBufferSize) {
    velnorsim::DeviceSetup setup;
    setup.manufacturer = std::wstring(400, L'M');
    velnorsim::AddDevice(setup);
    PlixoApi api;
    ASSERT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_EQ(PlixoApiTestPeer::Manufacturer(api), std::string(259, 'M'));
}

TEST_F(ConnectionTest, NoKeypadGivesFalseWithItsFourLinesAndTheWorkerKeepsLooking) {
    StdoutCapture capture;
    PlixoApi api;
    EXPECT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::NotConnected);
    EXPECT_TRUE(PlixoApiTestPeer::WorkerStarted(api));
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -2);
    const std::string output = capture.Take();
    const std::string expected =
        "called constructer 1\r\nvid 8263 pid 2495\r\nvid 2047 pid 9bf \r\nmanufacture none\r\nNot connected\r\n";
    ASSERT_EQ(Visible(output.substr(0, expected.size())), Visible(expected));
    // Within the 500 ms pause the worker has tried again, about every 100 ms.
    const std::string retries = output.substr(expected.size());
    EXPECT_TRUE(IsRepetitionOf(retries, kReconnectAttempt)) << Visible(retries);
    EXPECT_GE(retries.size() / kReconnectAttempt.size(), 2u);
}

TEST_F(ConnectionTest, AKeypadPluggedInLaterIsOpenedByTheWorker) {
    PlixoApi api;
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    const auto pluggedAt = std::chrono::steady_clock::now();
    const auto id = AddKeypad();
    ASSERT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }, 2s));
    const auto took = std::chrono::steady_clock::now() - pluggedAt;
    EXPECT_LT(took, 1s) << "one reconnect cycle is about 100 ms";
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::Connected);
    EXPECT_EQ(velnorsim::OpenHandleCount(id), 1);
}

TEST_F(ConnectionTest, HidapiThatCannotStartLeavesTheKeypadUnopened) {
    AddKeypad();
    velnorsim::SetInitFails(true);
    StdoutCapture capture;
    PlixoApi api;
    EXPECT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    const std::string output = capture.Take();
    // No "vid %x" line and the texts stay empty: the open never began.
    EXPECT_EQ(Visible(output), Visible("called constructer 1\r\nvid 8263 pid 2495\r\nNot connected\r\n"));
    EXPECT_EQ(PlixoApiTestPeer::Manufacturer(api), "");
    velnorsim::SetInitFails(false);
    EXPECT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }, 2s));
}

TEST_F(ConnectionTest, DestructorLinesOfANeverInitialisedObject) {
    StdoutCapture capture;
    { PlixoApi api; }
    EXPECT_EQ(Visible(capture.Take()), Visible("called constructer 1\r\nDispose \r\nDispose 2\r\nDispose 3\r\n"));
}

TEST_F(ConnectionTest, DestructorStopsTheWorkerBeforeClosingAndReleasesTheKeypad) {
    const auto id = AddKeypad();
    auto api = std::make_unique<PlixoApi>();
    ASSERT_TRUE(api->InitialiseBrellUSBDevice(kVendor, kProduct));
    StdoutCapture capture;
    api.reset();
    const std::string output = capture.Take();
    // The worker has completed a read (one that timed out counts), so an assembler exists.
    EXPECT_EQ(Visible(output), Visible("Dispose \r\nDispose 1\r\nDispose 2\r\nDispose 3\r\nDispose 4\r\n"));
    EXPECT_EQ(velnorsim::OpenHandleCount(id), 0);
    const auto counters = velnorsim::GetCounters();
    EXPECT_EQ(counters.openHandles, 0);
    EXPECT_GE(counters.exitCalls, 1);
}

TEST_F(ConnectionTest, DestructorOfAnObjectStillLookingForItsKeypadReturnsWithinACycle) {
    auto api = std::make_unique<PlixoApi>();
    ASSERT_FALSE(api->InitialiseBrellUSBDevice(kVendor, kProduct));
    const auto start = std::chrono::steady_clock::now();
    api.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

struct FindCase {
    const char* name;
    int vendor;
    int product;
    int expected;
    int linesPrinted;
};

TEST_F(ConnectionTest, FindUsbDeviceWalksTheWholeBusUpToTheMatch) {
    velnorsim::AddDevice(Device(0x1111, 0x2222, 0));
    velnorsim::AddDevice(Device(0x2047, 0x0001, 0));
    velnorsim::AddDevice(Device(0x2047, 0x09BF, 0));  // any interface counts here
    velnorsim::AddDevice(Device(0x3333, 0x4444, 1));
    const std::vector<FindCase> cases = {
        {"match third", kVendor, kProduct, 1, 3},
        {"match first", 0x1111, 0x2222, 1, 1},
        {"no match", 0x2047, 0x0002, 0, 4},
        {"minus one", -1, -1, 0, 4},
        {"bits above 16", kVendor | 0x10000, kProduct, 0, 4},
    };
    const std::vector<std::string> lines = {"USB Device: VID 1111, PID 2222 \r\n", "USB Device: VID 2047, PID 1 \r\n",
                                            "USB Device: VID 2047, PID 9bf \r\n",
                                            "USB Device: VID 3333, PID 4444 \r\n"};
    PlixoApi api;
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        EXPECT_EQ(api.findUSBDevice(c.vendor, c.product), c.expected);
        std::string expected;
        for (int i = 0; i < c.linesPrinted; ++i) expected += lines[static_cast<std::size_t>(i)];
        EXPECT_EQ(Visible(capture.Take()), Visible(expected));
    }
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::NotConnected);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
}

TEST_F(ConnectionTest, FindUsbDeviceOnAnEmptyBusPrintsNothing) {
    PlixoApi api;
    StdoutCapture capture;
    EXPECT_EQ(api.findUSBDevice(kVendor, kProduct), 0);
    EXPECT_EQ(capture.Take(), "");
}

TEST_F(ConnectionTest, SecondInitialiseReopensOnTheSameWorkerAndClosesTheOldHandle) {
    const auto id = AddKeypad();
    PlixoApi api;
    ASSERT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    const auto worker = PlixoApiTestPeer::WorkerId(api);
    StdoutCapture capture;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(Visible(capture.Take()),
              Visible("vid 8263 pid 2495\r\nvid 2047 pid 9bf \r\nmanufacture Velnor\r\nConnected\r\n"));
    EXPECT_EQ(PlixoApiTestPeer::WorkerId(api), worker);
    EXPECT_EQ(velnorsim::OpenHandleCount(id), 1);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 1);
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -1);
}

TEST_F(ConnectionTest, SecondInitialiseReportsAKeypadThatIsGone) {
    const auto id = AddKeypad();
    PlixoApi api;
    ASSERT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    velnorsim::Detach(id);
    EXPECT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::NotConnected);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
    // The worker goes on looking and finds it when it is back.
    velnorsim::Attach(id);
    EXPECT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }, 2s));
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 1);
}

TEST_F(ConnectionTest, SecondInitialiseWhileTheWorkerIsReconnectingFindsAReturnedKeypad) {
    PlixoApi api;
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    AddKeypad();
    EXPECT_TRUE(api.InitialiseBrellUSBDevice(kVendor, kProduct));
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 1);
}

TEST_F(ConnectionTest, HidapiCallsFromCallersAndTheWorkerNeverOverlap) {
    PlixoApi api;
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(kVendor, kProduct));  // the worker keeps reconnecting
    AddKeypad(0);  // enumerated, never opened
    const auto deadline = std::chrono::steady_clock::now() + 600ms;
    StdoutCapture capture;
    while (std::chrono::steady_clock::now() < deadline) api.findUSBDevice(kVendor, kProduct);
    capture.Take();
    const auto counters = velnorsim::GetCounters();
    EXPECT_EQ(counters.overlappingUnsafeCalls, 0);
    EXPECT_EQ(counters.closesDuringRead, 0);
    EXPECT_GT(counters.enumerateCalls, 10);
}

}  // namespace
