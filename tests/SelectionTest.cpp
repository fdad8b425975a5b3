// Several keypads on one bus: listing them, opening the one chosen, and the truthful connection
// of objects opened that way. (The one chosen followed through its restart while others work on
// shows in the velnor restore and station runs.)
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "KeypadIdentity.h"
#include "support/Hex.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

using namespace std::chrono_literals;
using velnorsim::FaultKind;
using velnortest::WaitUntil;

namespace {

KEYPAD_SELECTION Selecting(KEYPAD_SELECTOR by, const std::string& value) { return {8263, 2495, by, value}; }

// Two keypads, one with a USB serial string and one without, and a device that offers
// interface 0 only. Nothing the objects under test do may reach standard output.
class SelectionTest : public testing::Test {
protected:
    void SetUp() override {
        velnorsim::RemoveAllDevices();
        withSerial = Add("1-2", L"KP-A", "11111111", 1);
        withoutSerial = Add("1-3.1", std::nullopt, "22222222", 1);
        interfaceZero = Add("1-4", L"KP-Z", "33333333", 0);
    }
    void TearDown() override { EXPECT_EQ(output.Take(), "") << "a keypad opened by selection prints nothing"; }

    static velnorsim::DeviceId Add(const std::string& location, std::optional<std::wstring> usbSerial,
                                   const std::string& serial, int interface) {
        velnorsim::DeviceSetup setup;
        setup.location = location;
        setup.serialNumber = std::move(usbSerial);
        setup.interfaceNumber = interface;
        setup.settings.firmwareName = "V7.2";
        setup.settings.serialNumber = serial;
        return velnorsim::AddDevice(setup);
    }

    std::unique_ptr<PlixoApi> Open(KEYPAD_SELECTOR by, const std::string& value, int expected = 0) {
        auto api = std::make_unique<PlixoApi>(Selecting(by, value));
        EXPECT_EQ(api->OpenKeypad(1000), expected);
        return api;
    }

    static std::string SerialOf(PlixoApi& api) {
        DEVICE_INFO info;
        return api.GetDeviceStatus(&info, 2000) == 0 ? info.SerialNumber : "failed";
    }

    velnortest::StdoutCapture output;
    velnorsim::DeviceId withSerial = 0;
    velnorsim::DeviceId withoutSerial = 0;
    velnorsim::DeviceId interfaceZero = 0;
};

TEST_F(SelectionTest, ListingShowsEveryKeypadInOrderAndOpensNothing) {
    std::vector<KEYPAD_ENTRY> keypads;
    ASSERT_EQ(PlixoApi::ListKeypads(8263, 2495, &keypads), 0);
    std::vector<std::string> listed;  // the interface-0 device is no keypad
    for (const KEYPAD_ENTRY& k : keypads) listed.push_back(k.Path + "|" + k.UsbSerial + "|" + k.Location + "|" + k.Manufacturer + "|" + k.Product);
    EXPECT_EQ(listed, (std::vector<std::string>{velnorsim::PathOf(withSerial) + "|KP-A|1-2|Velnor|Velnor Keypad",
                                                velnorsim::PathOf(withoutSerial) + "||1-3.1|Velnor|Velnor Keypad"}));
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
    // USB strings come as UTF-8, so that keypads whose serials differ beyond ASCII stay apart; a
    // surrogate or a value beyond U+10FFFF is no character and comes as U+FFFD. findUSBDevice
    // prints nothing on an object opened by selection either.
    const std::wstring noCharacters{wchar_t(0xD800), wchar_t(0xDFFF), wchar_t(0x110000), L'!'};
    const velnorsim::DeviceId accented = Add("1-5", L"K\u00dcP\u20ac\U0001F600" + noCharacters, "44444444", 1);
    ASSERT_EQ(PlixoApi::ListKeypads(8263, 2495, &keypads), 0);
    ASSERT_EQ(keypads.size(), 3u);
    EXPECT_EQ(keypads[2].UsbSerial, "K\xc3\x9cP\xe2\x82\xac\xf0\x9f\x98\x80\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd!");
    const auto api = Open(SELECT_BY_USB_SERIAL, keypads[2].UsbSerial);
    EXPECT_EQ(SerialOf(*api), "44444444");
    EXPECT_EQ(api->findUSBDevice(8263, 2495), 1);
    velnorsim::Detach(accented);
    EXPECT_EQ(PlixoApi::ListKeypads(0x1234, 0x5678, &keypads), 0);
    EXPECT_TRUE(keypads.empty());
    EXPECT_EQ(PlixoApi::ListKeypads(8263, 2495, nullptr), PlixoApi::NULL_POINTER);
}

TEST_F(SelectionTest, SelectionsThatNameNoSingleKeypadAreRefusedOrWaitedFor) {
    Open(SELECT_BY_LOCATION, "", PlixoApi::INVALID_ARGUMENT);
    // A kind of selection the library does not know could never match: refused, not waited for;
    // and an object that never opened has no worker to wait on.
    const auto unknown = Open(static_cast<KEYPAD_SELECTOR>(7), "1-2", PlixoApi::INVALID_ARGUMENT);
    EXPECT_EQ(unknown->WaitUntilConnected(0), PlixoApi::NOT_CONNECTED);
    EXPECT_EQ(unknown->WaitUntilLeft(0), PlixoApi::NOT_CONNECTED);
    velnorsim::DeviceSetup twin;
    twin.location = "1-5";
    twin.serialNumber = L"KP-A";
    velnorsim::AddDevice(twin);
    Open(SELECT_BY_USB_SERIAL, "KP-A", PlixoApi::INVALID_ARGUMENT);
    Open(SELECT_BY_LOCATION, "1-4", PlixoApi::NOT_CONNECTED);  // interface 0 is no keypad
    // An absent keypad is waited for, and the keypad that is there is not opened meanwhile.
    velnorsim::Detach(withoutSerial);
    auto api = Open(SELECT_BY_LOCATION, "1-3.1", PlixoApi::NOT_CONNECTED);
    EXPECT_EQ(api->GetConnectionState(), ConnectionState::NotConnected);
    EXPECT_EQ(api->WaitUntilConnected(300), PlixoApi::TIMEOUT);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
    velnorsim::Attach(withoutSerial);
    EXPECT_EQ(api->WaitUntilConnected(0), 0);
    EXPECT_EQ(SerialOf(*api), "22222222");
}

class TruthfulConnectionTest : public SelectionTest {
protected:
    void SetUp() override {
        SelectionTest::SetUp();
        api = Open(SELECT_BY_USB_SERIAL, "KP-A");
    }
    void Fail(int command, FaultKind kind, int param = 0) {
        velnorsim::SetFault(withSerial, command, velnorsim::Fault{kind, param, 1});
    }
    // Waits until the keypad has received `count` reports in all.
    void AwaitReports(std::size_t count) {
        ASSERT_TRUE(WaitUntil([&] { return velnorsim::OutputReports(withSerial).size() >= count; }, 10s));
    }
    std::unique_ptr<PlixoApi> api;
};

TEST_F(TruthfulConnectionTest, RepliesThatDoNotAnswerTheRequestEndItWithACode) {
    const struct {
        const char* what;
        FaultKind kind;
        int param;
        int expected;
    } cases[] = {
        {"a reply of another type is dropped", FaultKind::WrongType, 2, PlixoApi::TIMEOUT},
        {"a status reply announcing too few bytes", FaultKind::LieLength, 20, PlixoApi::INVALID_REPLY},
        {"a NAK", FaultKind::Nak, 0, PlixoApi::REFUSED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fail(1, c.kind, c.param);
        DEVICE_INFO info;
        info.SerialNumber = "kept";
        EXPECT_EQ(api->GetDeviceStatus(&info, 1000), c.expected);
        EXPECT_EQ(info.SerialNumber, "kept");
        EXPECT_EQ(SerialOf(*api), "11111111") << "the next exchange is not disturbed";
    }
    // Frames that arrive while the status query waits: a header that does not decode, and a
    // status reply whose length field announces 42 data bytes while the frame carries 10 (its
    // checksum is right: only the count gives it away).
    velnortest::Bytes carriesTen = velnortest::Hex("30 31 32 41");  // type 01, length 2A
    carriesTen.resize(4 + 10, 0x05);
    for (const velnortest::Bytes& report : {velnortest::Hex("3F 07 02 5A 5A 30 30 03 01"), velnortest::ReplyReport(carriesTen)}) {
        Fail(1, FaultKind::NoReply);
        const std::size_t sent = velnorsim::OutputReports(withSerial).size();
        std::thread inject([&] {
            AwaitReports(sent + 1);
            velnorsim::InjectInputReport(withSerial, velnortest::Padded(report));
        });
        DEVICE_INFO info;
        info.SerialNumber = "kept";
        EXPECT_EQ(api->GetDeviceStatus(&info, 0), PlixoApi::INVALID_REPLY);
        EXPECT_EQ(info.SerialNumber, "kept");
        inject.join();
    }
}

// The keypad lost while an operation waits: the operation ends at once, also with no time-out,
// and the worker finds the keypad again.
TEST_F(TruthfulConnectionTest, ALostKeypadEndsTheWaitingOperationAtOnce) {
    for (int timeout : {0, 3000}) {
        SCOPED_TRACE(timeout);
        Fail(2, FaultKind::NoReply);
        const std::size_t sent = velnorsim::OutputReports(withSerial).size();
        std::thread unplug([&] {
            AwaitReports(sent + 1);
            velnorsim::SetReadsFail(withSerial, true);
        });
        EXPECT_EQ(api->SetLedLevel(9, timeout), PlixoApi::CONNECTION_LOST);
        unplug.join();
        EXPECT_NE(api->GetConnectionState(), ConnectionState::Connected);
        velnorsim::SetReadsFail(withSerial, false);
        ASSERT_EQ(api->WaitUntilConnected(5000), 0);
        EXPECT_EQ(api->SetLedLevel(4, 3000), 0);
    }
}

// A request queued behind one whose write is held: the keypad goes, the write fails, and the
// queued request is dropped with its caller told, never sent to the keypad when it is back.
TEST_F(TruthfulConnectionTest, RequestsQueuedWhenTheKeypadIsLostAreDroppedAndTheirCallersTold) {
    velnorsim::HoldCalls(velnorsim::Call::Write);
    EXPECT_EQ(api->SetLedLevel(1, 100), PlixoApi::TIMEOUT);
    ASSERT_TRUE(velnorsim::WaitForHeldCall(velnorsim::Call::Write, 2000));
    std::atomic<int> queued{1};
    std::thread caller([&] { queued = api->SetBuzzer(7, 0); });
    velnorsim::Detach(withSerial);
    velnorsim::ReleaseCalls(velnorsim::Call::Write);
    caller.join();
    EXPECT_EQ(queued, PlixoApi::CONNECTION_LOST);
    velnorsim::Attach(withSerial);
    ASSERT_EQ(api->WaitUntilConnected(5000), 0);
    EXPECT_EQ(SerialOf(*api), "11111111");
    for (const std::string& command : velnortest::CommandsOf(velnorsim::OutputReports(withSerial))) {
        EXPECT_NE(command, "04") << "the buzzer frame was never sent";
    }
}

// For every object: a reply read before an exchange's own frame went out (late, or unasked
// for) does not complete that exchange, however the worker's steps interleave with it.
TEST(ReplyHandOverTest, AReplyReadBeforeTheRequestWentOutCompletesNothing) {
    velnorsim::RemoveAllDevices();
    const velnorsim::DeviceId keypad = velnorsim::AddDevice({});
    for (bool bySelection : {false, true}) {
        SCOPED_TRACE(bySelection);
        velnortest::StdoutCapture quiet;
        auto api = bySelection ? std::make_unique<PlixoApi>(Selecting(SELECT_BY_PATH, velnorsim::PathOf(keypad)))
                               : std::make_unique<PlixoApi>();
        ASSERT_TRUE(bySelection ? api->OpenKeypad(1000) == 0 : api->InitialiseBrellUSBDevice(8263, 2495));
        velnorsim::SetFault(keypad, 4, velnorsim::Fault{FaultKind::NoReply, 0, 1});
        velnorsim::HoldCalls(velnorsim::Call::ReadTimeout);
        ASSERT_TRUE(velnorsim::WaitForHeldCall(velnorsim::Call::ReadTimeout, 2000));
        // A buzzer reply is waiting to be read when the buzzer exchange queues its request.
        velnorsim::InjectInputReport(keypad, velnortest::Padded(velnortest::Hex("3F 08 02 30 34 30 31 00 03 04")));
        std::thread release([&] {
            WaitUntil([&] { return PlixoApiTestPeer::QueuedRequests(*api) == 1; }, 10s);
            velnorsim::ReleaseCalls(velnorsim::Call::ReadTimeout);
        });
        EXPECT_EQ(api->SetBuzzer(7, 1000), PlixoApi::TIMEOUT) << "its own frame got no reply";
        release.join();
        api.reset();
        quiet.Take();
    }
}

TEST(ReplyHandOverTest, EachObjectOpensItsOwnWay) {
    velnorsim::RemoveAllDevices();
    const velnorsim::DeviceId keypad = velnorsim::AddDevice({});
    velnortest::StdoutCapture output;
    {
        PlixoApi design;  // never initialised: no keypad, no worker to end, no failure recorded
        EXPECT_EQ(design.RetrieveByteFromBuffer(), -2);
        EXPECT_EQ(design.GetErrorCode(), 0);
        EXPECT_EQ(design.OpenKeypad(100), PlixoApi::INVALID_ARGUMENT);
    }
    PlixoApi selected(Selecting(SELECT_BY_PATH, velnorsim::PathOf(keypad)));
    EXPECT_FALSE(selected.InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(selected.GetErrorCode(), PlixoApi::INVALID_ARGUMENT);
    EXPECT_EQ(selected.OpenKeypad(100), 0);
    EXPECT_EQ(selected.OpenKeypad(100), PlixoApi::INVALID_ARGUMENT) << "once per object";
    EXPECT_EQ(velnortest::Visible(output.Take()), velnortest::Visible("called constructer 1\r\nDispose \r\nDispose 2\r\nDispose 3\r\n"));
}

// hidapi is set up once for the process: destroying one object leaves the other working.
TEST_F(SelectionTest, HidapiStaysSetUpWhileAnyObjectUsesIt) {
    auto first = Open(SELECT_BY_LOCATION, "1-2");
    auto second = Open(SELECT_BY_LOCATION, "1-3.1");
    const int exits = velnorsim::GetCounters().exitCalls;
    first.reset();
    EXPECT_EQ(velnorsim::GetCounters().exitCalls, exits);
    EXPECT_EQ(SerialOf(*second), "22222222");
    second.reset();
    EXPECT_EQ(velnorsim::GetCounters().exitCalls, exits + 1);
}

// Which attached keypad is "the same one" after it came back: location and serial string both,
// where known.
TEST(KeypadIdentityTest, TheSameKeypadIsTheOneAtItsPortWithItsSerialString) {
    const std::vector<KEYPAD_ENTRY> keypads = {
        {"/dev/hidraw4", "A1", "", "", "1-2"},
        {"/dev/hidraw5", "", "", "", "1-3"},
        {"/dev/hidraw6", "B7", "", "", "1-4"},
        {"/dev/hidraw7", "B7", "", "", "1-5"},
        {"/dev/hidraw8", "C3", "", "", ""},
    };
    const struct {
        velnor::KeypadIdentity identity;
        std::optional<std::size_t> found;
    } cases[] = {
        {{"A1", "1-2", "/dev/hidraw0"}, 0},
        {{"B7", "", ""}, std::nullopt},
        {{"", "1-3", "/dev/hidraw0"}, 1},
        {{"Z9", "1-2", ""}, std::nullopt},  // a serial known is never traded for a location
        {{"C3", "", ""}, 4},
        {{"", "", "/dev/hidraw5"}, 1},
        {{"", "", ""}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(velnor::FindKeypad(c.identity, keypads), c.found) << c.identity.usbSerial << c.identity.location;
}

}  // namespace
