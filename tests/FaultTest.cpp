// Faults the library must survive: each gives a documented code within the caller's time-out
// plus one worker cycle, loses no later request and leaves the object usable.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "support/ConnectedKeypadTest.h"
#include "support/Hex.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

using namespace std::chrono_literals;
using velnorsim::Fault;
using velnorsim::FaultKind;
using velnortest::WaitUntil;

namespace {

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class FaultTest : public ConnectedKeypadTest {
protected:
    void Fail(int command, FaultKind kind, int param = 0, int times = 1) {
        velnorsim::SetFault(keypad, command, Fault{kind, param, times});
    }

    // The object still works: a plain exchange succeeds.
    void ExpectUsable() {
        int jack = -1;
        EXPECT_EQ(api.GetJackStatus(&jack, 1000), 0);
        EXPECT_EQ(jack, 1);
    }

};

TEST_F(FaultTest, OperationsOnAnUnconnectedObjectFailAtOnceAndSendNothing) {
    velnorsim::Detach(keypad);
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(8263, 2495));
    velnorsim::ClearOutputReports(keypad);
    const char table[20] = {};
    DEVICE_INFO info;
    int jack = 0;
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"SetLedLevel", [&] { return api.SetLedLevel(1, 0); }},
        {"SetBuzzer", [&] { return api.SetBuzzer(1, 0); }},
        {"SetBuzzerPeriod", [&] { return api.SetBuzzerPeriod(1, 0); }},
        {"SetKeypadTable with a bad table", [&] { return api.SetKeypadTable(3, 0); }},
        {"SetOption", [&] { return api.SetOption(1, 0); }},
        {"LoadCodeTable with a bad length", [&] { return api.LoadCodeTable(table, 19, 0); }},
        {"SetSerialNumber", [&] { return api.SetSerialNumber("1", 0); }},
        {"WriteDefaultToFlash", [&] { return api.WriteDefaultToFlash(0); }},
        {"ResetToFactoryDefault", [&] { return api.ResetToFactoryDefault(0); }},
        {"StartBSL", [&] { return api.StartBSL(0); }},
        {"GetDeviceStatus", [&] { return api.GetDeviceStatus(&info, 0); }},
        {"GetJackStatus", [&] { return api.GetJackStatus(&jack, 0); }},
    };
    for (const auto& [name, call] : calls) {
        const auto start = Clock::now();
        EXPECT_EQ(call(), -2) << name;
        EXPECT_LT(MillisecondsSince(start), 100) << name;
    }
    EXPECT_EQ(api.GetErrorCode(), -2);
    EXPECT_TRUE(velnorsim::OutputReports(keypad).empty());
}

TEST_F(FaultTest, ArgumentsTheProtocolCannotCarryAreRefusedWithoutSending) {
    velnorsim::ClearOutputReports(keypad);
    const char table[21] = {};
    const std::string tooLong(256, 'S');
    const struct {
        const char* name;
        std::function<int()> call;
        int code;
    } cases[] = {
        {"code table of 19", [&] { return api.LoadCodeTable(table, 19, 100); }, -9998},
        {"code table of 21", [&] { return api.LoadCodeTable(table, 21, 100); }, -9998},
        {"null code table", [&] { return api.LoadCodeTable(nullptr, 20, 100); }, -9985},
        {"keypad table 3", [&] { return api.SetKeypadTable(3, 100); }, -9998},
        {"serial of 256 bytes", [&] { return api.SetSerialNumber(tooLong.c_str(), 100); }, -9998},
        {"null serial", [&] { return api.SetSerialNumber(nullptr, 100); }, -9985},
        {"null status record", [&] { return api.GetDeviceStatus(nullptr, 100); }, -9985},
        {"null jack result", [&] { return api.GetJackStatus(nullptr, 100); }, -9985},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.code) << c.name;
        EXPECT_EQ(api.GetErrorCode(), c.code) << c.name;
    }
    EXPECT_TRUE(velnorsim::OutputReports(keypad).empty());
    // A success afterwards leaves the failure recorded.
    ExpectUsable();
    EXPECT_EQ(api.GetErrorCode(), -9985);
}

TEST_F(FaultTest, NullPointersAreRefusedBeforeTheConnectionIsLookedAt) {
    velnorsim::Detach(keypad);
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(api.GetDeviceStatus(nullptr, 0), -9985);
    EXPECT_EQ(api.GetJackStatus(nullptr, 0), -9985);
    EXPECT_EQ(api.LoadCodeTable(nullptr, 20, 0), -9985);
    EXPECT_EQ(api.SetSerialNumber(nullptr, 0), -9985);
}

TEST_F(FaultTest, ASerialOf255BytesGoesOutInFiveReports) {
    velnorsim::ClearOutputReports(keypad);
    const std::string serial(255, 'S');
    EXPECT_EQ(api.SetSerialNumber(serial.c_str(), 2000), 0);
    EXPECT_EQ(velnorsim::OutputReports(keypad).size(), 5u);
    EXPECT_EQ(velnorsim::RamSettings(keypad).serialNumber, serial);
    EXPECT_EQ(velnorsim::FrameErrors(keypad), 0);
}

TEST_F(FaultTest, NoReplyTimesOutAfterTheAllowedNumberOfSleeps) {
    const struct {
        int timeout;
        int sleeps;
    } cases[] = {{10, 1}, {15, 2}, {30, 3}, {-1, 1}, {-500, 1}, {120, 12}};
    for (const auto& c : cases) {
        Fail(15, FaultKind::NoReply);
        int jack = -1;
        const auto start = Clock::now();
        EXPECT_EQ(api.GetJackStatus(&jack, c.timeout), -3) << c.timeout;
        const long took = MillisecondsSince(start);
        EXPECT_GE(took, 10 * c.sleeps) << c.timeout;
        EXPECT_LT(took, 10 * c.sleeps + 150) << c.timeout;
        EXPECT_EQ(jack, -1) << "left as it was";
        EXPECT_EQ(api.GetErrorCode(), -3);
        std::this_thread::sleep_for(100ms);  // the request was still sent; let it go by
    }
    ExpectUsable();
}

TEST_F(FaultTest, ATimeOutOfZeroWaitsUntilTheReplyComes) {
    Fail(15, FaultKind::Delay, 700);
    int jack = -1;
    const auto start = Clock::now();
    EXPECT_EQ(api.GetJackStatus(&jack, 0), 0);
    EXPECT_GE(MillisecondsSince(start), 700);
    EXPECT_EQ(jack, 1);
}

struct ReplyFaultCase {
    const char* name;
    Fault fault;
    int result;  // also what lastError holds afterwards
};

TEST(FaultCaseTest, MisbehavingRepliesGiveADocumentedCode) {
    const std::vector<ReplyFaultCase> cases = {
        {"no reply", {FaultKind::NoReply, 0, 1}, -3},
        {"ACK instead", {FaultKind::Ack, 0, 1}, -3},
        {"NAK instead", {FaultKind::Nak, 0, 1}, -3},
        {"bad checksum", {FaultKind::BadChecksum, 0, 1}, -3},
        {"type without a command", {FaultKind::WrongType, 3, 1}, -3},
        {"ETX index past the report", {FaultKind::LieEtxIndex, 200, 1}, -3},
        {"ETX index inside the report", {FaultKind::LieEtxIndex, 20, 1}, -3},
        {"noise before the reply", {FaultKind::Garbage, 2, 1}, 0},
        {"reply split over two reports", {FaultKind::Split, 0, 1}, 0},
        {"late but in time", {FaultKind::Delay, 200, 1}, 0},
        {"length field announcing more", {FaultKind::LieLength, 40, 1}, 0},
        {"length field announcing less", {FaultKind::LieLength, 0, 1}, 0},
        {"a reply of another plain type completes", {FaultKind::WrongType, 2, 1}, 0},
    };
    for (const ReplyFaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        velnorsim::RemoveAllDevices();
        velnorsim::DeviceSetup setup;
        setup.settings.jackStatus = 1;
        const auto keypad = velnorsim::AddDevice(setup);
        PlixoApi api;
        ASSERT_TRUE(api.InitialiseBrellUSBDevice(8263, 2495));
        velnorsim::SetFault(keypad, 11, c.fault);
        const auto start = Clock::now();
        EXPECT_EQ(api.SetOption(2, 600), c.result);
        EXPECT_LT(MillisecondsSince(start), 600 + 450);
        EXPECT_EQ(api.GetErrorCode(), c.result);
        EXPECT_EQ(velnorsim::RamSettings(keypad).keyCountOption, 2) << "the keypad got the command";
        int jack = -1;
        EXPECT_EQ(api.GetJackStatus(&jack, 1000), 0) << "usable afterwards";
        EXPECT_EQ(jack, 1);
    }
}

TEST_F(FaultTest, AStatusQueryCompletedByAPlainReplyReadsAnEmptyRecord) {
    Fail(1, FaultKind::WrongType, 2);
    DEVICE_INFO info;
    info.FirmwareName = "old";
    EXPECT_EQ(api.GetDeviceStatus(&info, 1000), 0);
    EXPECT_EQ(info.FirmwareName, "");
    EXPECT_EQ(info.SerialNumber, "");
}

TEST_F(FaultTest, ALateReplyToATimedOutExchangeCompletesTheNextOne) {
    Fail(15, FaultKind::Delay, 400);
    int jack = -1;
    EXPECT_EQ(api.GetJackStatus(&jack, 100), -3);
    Fail(2, FaultKind::Delay, 900);
    const auto start = Clock::now();
    EXPECT_EQ(api.SetLedLevel(4, 3000), 0) << "replies are not matched to requests";
    EXPECT_LT(MillisecondsSince(start), 800);
    std::this_thread::sleep_for(1s);  // the LED reply lands in the slot after all
    EXPECT_TRUE(PlixoApiTestPeer::ReplySlotHolds(api));
    DEVICE_INFO info;
    EXPECT_EQ(api.GetDeviceStatus(&info, 1000), 0);
    EXPECT_EQ(info.LedLevel, 4);
    EXPECT_EQ(info.SerialNumber, "12345678");
}

TEST_F(FaultTest, UnpluggedBeforeASendTheWorkerClosesAndReopensByItself) {
    velnorsim::HoldCalls(velnorsim::Call::Close);
    velnorsim::Detach(keypad);
    // Waits without limit: it ends only when some reply comes.
    std::atomic<int> result{1};
    std::thread waiting([&] { result = api.SetLedLevel(3, 0); });

    // The write fails; the next idle wait closes the device, ConnectionLost while it does.
    ASSERT_TRUE(velnorsim::WaitForHeldCall(velnorsim::Call::Close, 2000));
    EXPECT_EQ(api.GetErrorCode(), -4);
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::ConnectionLost);
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -2);
    velnorsim::ReleaseCalls(velnorsim::Call::Close);
    ASSERT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::State(api) == ConnectionState::NotConnected; }, 1s));
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);

    velnorsim::Attach(keypad);
    ASSERT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }, 2s)) << "reopened without a call";
    // lastError still reads -4, yet the reopened keypad is not taken for lost again.
    std::this_thread::sleep_for(1300ms);
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::Connected);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 1);
    EXPECT_EQ(api.GetErrorCode(), -4);

    velnorsim::InjectInputReport(keypad, velnortest::Padded({0x3F, 0x08, 0x02, '0', '2', '0', '1', 0x00, 0x03, 0x02}));
    waiting.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(api.GetErrorCode(), -4) << "a success leaves the failure recorded";
    EXPECT_EQ(api.SetLedLevel(3, 1000), 0);
    EXPECT_EQ(velnorsim::RamSettings(keypad).ledLevel, 3);
}

TEST_F(FaultTest, OperationsRefuseWhileTheKeypadIsLostAndWorkWhenItIsBack) {
    velnorsim::Detach(keypad);
    EXPECT_EQ(api.SetLedLevel(5, 300), -3);
    ASSERT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::State(api) == ConnectionState::NotConnected; }, 2s));
    EXPECT_EQ(api.SetLedLevel(5, 300), -2);
    velnorsim::Attach(keypad);
    ASSERT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; }, 2s));
    EXPECT_EQ(api.SetLedLevel(5, 1000), 0);
    EXPECT_EQ(velnorsim::RamSettings(keypad).ledLevel, 5);
}

TEST_F(FaultTest, FailingReadsAreRecordedWithoutDroppingTheConnection) {
    velnorsim::SetReadsFail(keypad, true);
    ASSERT_TRUE(WaitUntil([&] { return api.GetErrorCode() == -9983; }, 2s));
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::Connected);
    int jack = -1;
    EXPECT_EQ(api.GetJackStatus(&jack, 300), -3);
    velnorsim::SetReadsFail(keypad, false);
    ExpectUsable();
}

TEST_F(FaultTest, ABusyRequestQueueGivesLockTimeoutAtOnce) {
    std::atomic<bool> held{false};
    std::thread holder([&] {
        std::lock_guard lock(PlixoApiTestPeer::RequestQueueMutex(api));
        held = true;
        std::this_thread::sleep_for(1500ms);
    });
    while (!held) std::this_thread::sleep_for(1ms);
    const auto start = Clock::now();
    EXPECT_EQ(api.SetLedLevel(1, 10000), -9997);
    const long took = MillisecondsSince(start);
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 1450) << "no wait for the time-out";
    EXPECT_EQ(api.GetErrorCode(), -9997);
    holder.join();
    ExpectUsable();
}

TEST_F(FaultTest, RequestsKeepTheirOwnCopyOfTheCallersBytes) {
    velnorsim::HoldCalls(velnorsim::Call::Write);
    EXPECT_EQ(api.SetLedLevel(1, 10), -3);
    ASSERT_TRUE(velnorsim::WaitForHeldCall(velnorsim::Call::Write, 1000));
    {
        auto table = std::make_unique<char[]>(20);
        for (int i = 0; i < 20; ++i) table[static_cast<std::size_t>(i)] = static_cast<char>(0x40 + i);
        auto serial = std::make_unique<char[]>(9);
        std::memcpy(serial.get(), "87654321", 9);
        EXPECT_EQ(api.LoadCodeTable(table.get(), 20, 10), -3);
        EXPECT_EQ(api.SetSerialNumber(serial.get(), 10), -3);
        std::memset(table.get(), 0xEE, 20);
        std::memset(serial.get(), 'x', 8);
    }  // freed before the worker builds their frames
    velnorsim::ReleaseCalls(velnorsim::Call::Write);
    ASSERT_TRUE(WaitUntil([&] { return velnorsim::RamSettings(keypad).serialNumber == "87654321"; }, 2s));
    const auto settings = velnorsim::RamSettings(keypad);
    EXPECT_EQ(settings.ledLevel, 1);
    EXPECT_EQ(settings.codeTable[0], 0x40);
    EXPECT_EQ(settings.codeTable[19], 0x53);
    const auto reports = velnorsim::OutputReports(keypad);
    ASSERT_EQ(reports.size(), 3u) << "sent in the order they were queued";
    EXPECT_EQ(reports[0][4], '2');
    EXPECT_EQ(reports[1][4], '5');
    EXPECT_EQ(reports[2][4], 'E');
}

TEST_F(FaultTest, SecondInitialiseNeverClosesAHandleWhileItIsRead) {
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(60 * i));  // land at other points of a cycle
        EXPECT_TRUE(api.InitialiseBrellUSBDevice(8263, 2495));
        ExpectUsable();
    }
    const auto counters = velnorsim::GetCounters();
    EXPECT_EQ(counters.closesDuringRead, 0);
    EXPECT_EQ(counters.overlappingUnsafeCalls, 0);
    EXPECT_EQ(counters.openHandles, 1);
}

TEST_F(FaultTest, TheDestructorOfAConnectedObjectReturnsWithinACycle) {
    auto connected = std::make_unique<PlixoApi>();
    ASSERT_TRUE(connected->InitialiseBrellUSBDevice(8263, 2495));
    const auto start = Clock::now();
    connected.reset();
    EXPECT_LT(MillisecondsSince(start), 100 + 300 + 200);
}

}  // namespace
