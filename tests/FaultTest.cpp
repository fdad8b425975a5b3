// Faults the library must survive: each gives a documented code, loses no later request and
// leaves the object usable. lastError keeps the last failure; a success never clears it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <future>

#include "support/Hex.h"
#include "support/KeypadTest.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using namespace velnortest;
using velnorsim::Call;
using velnorsim::Fault;
using velnorsim::FaultKind;

namespace {

class FaultTest : public KeypadTest {
protected:
    void Fail(int command, FaultKind kind, int param = 0, int times = 1) {
        velnorsim::SetFault(keypad, command, Fault{kind, param, times});
    }

    // The object still works: a plain exchange succeeds.
    void ExpectUsable() {
        int jack = -1;
        EXPECT_EQ(api.GetJackStatus(&jack, kPatientMs), 0);
        EXPECT_EQ(jack, 255);
    }
};

TEST(ErrorTextTest, ErrorTextsAreFixed) {
    PlixoApi api;
    EXPECT_STREQ(api.GetErrorText(0), "Success");
    EXPECT_STREQ(api.GetErrorText(-9983), "Unknown Error");
    for (int code : {-2, -3, -9997, 1, INT32_MIN}) EXPECT_STREQ(api.GetErrorText(code), "No descriptive text avalable");
}

TEST_F(FaultTest, RefusedCallsSendNothingConnectedOrNot) {
    const char table[21] = {};
    const std::string tooLong(256, 'S');
    DEVICE_INFO info;
    int jack = 0;
    // A time-out of 0 waits without limit: a call that returns did not wait for a reply.
    const struct {
        const char* name;
        std::function<int()> call;
        int connected;  // 0: not called while connected (it would be sent)
        int notConnected;
    } cases[] = {
        {"SetLedLevel", [&] { return api.SetLedLevel(1, 0); }, 0, -2},
        {"SetBuzzer", [&] { return api.SetBuzzer(1, 0); }, 0, -2},
        {"SetBuzzerPeriod", [&] { return api.SetBuzzerPeriod(1, 0); }, 0, -2},
        {"SetOption", [&] { return api.SetOption(1, 0); }, 0, -2},
        {"SetSerialNumber", [&] { return api.SetSerialNumber("1", 0); }, 0, -2},
        {"WriteDefaultToFlash", [&] { return api.WriteDefaultToFlash(0); }, 0, -2},
        {"ResetToFactoryDefault", [&] { return api.ResetToFactoryDefault(0); }, 0, -2},
        {"StartBSL", [&] { return api.StartBSL(0); }, 0, -2},
        {"GetDeviceStatus", [&] { return api.GetDeviceStatus(&info, 0); }, 0, -2},
        {"GetJackStatus", [&] { return api.GetJackStatus(&jack, 0); }, 0, -2},
        {"keypad table 3", [&] { return api.SetKeypadTable(3, 0); }, -9998, -2},
        {"code table of 19", [&] { return api.LoadCodeTable(table, 19, 0); }, -9998, -2},
        {"code table of 21", [&] { return api.LoadCodeTable(table, 21, 0); }, -9998, -2},
        {"serial of 256 bytes", [&] { return api.SetSerialNumber(tooLong.c_str(), 0); }, -9998, -2},
        // Null pointers are refused before the connection is looked at.
        {"null code table", [&] { return api.LoadCodeTable(nullptr, 20, 0); }, -9985, -9985},
        {"null serial", [&] { return api.SetSerialNumber(nullptr, 0); }, -9985, -9985},
        {"null status record", [&] { return api.GetDeviceStatus(nullptr, 0); }, -9985, -9985},
        {"null jack result", [&] { return api.GetJackStatus(nullptr, 0); }, -9985, -9985},
    };
    velnorsim::ClearOutputReports(keypad);
    for (const auto& c : cases) {
        if (c.connected == 0) continue;
        EXPECT_EQ(c.call(), c.connected) << c.name;
        EXPECT_EQ(api.GetErrorCode(), c.connected) << c.name;
    }
    EXPECT_TRUE(velnorsim::OutputReports(keypad).empty());
    ExpectUsable();
    EXPECT_EQ(api.GetErrorCode(), -9985) << "a success leaves the failure recorded";

    velnorsim::Detach(keypad);
    ASSERT_FALSE(api.InitialiseBrellUSBDevice(8263, 2495));
    velnorsim::ClearOutputReports(keypad);
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.notConnected) << c.name;
        EXPECT_EQ(api.GetErrorCode(), c.notConnected) << c.name;
    }
    EXPECT_TRUE(velnorsim::OutputReports(keypad).empty());
}

// Negative time-outs wait briefly, and a time-out of 0 without limit.
TEST_F(FaultTest, TimeOuts) {
    Fail(15, FaultKind::NoReply, 0, 4);
    for (const int timeout : {10, 15, -1, -500}) {
        int jack = -1;
        EXPECT_EQ(api.GetJackStatus(&jack, timeout), -3) << timeout;
        EXPECT_EQ(jack, -1) << "left as it was";
        EXPECT_EQ(api.GetErrorCode(), -3);
    }
    Fail(15, FaultKind::Delay, 300);
    int jack = -1;
    EXPECT_EQ(api.GetJackStatus(&jack, 0), 0);
    EXPECT_EQ(jack, 255);
}

TEST_F(FaultTest, MisbehavingRepliesGiveADocumentedCode) {
    const struct {
        const char* name;
        Fault fault;
        int result;  // also what lastError holds afterwards when not 0 (a success leaves it)
    } cases[] = {
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
        {"a reply of another plain type completes: replies are not matched", {FaultKind::WrongType, 2, 1}, 0},
    };
    int option = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        option = 3 - option;  // each case changes the keypad's option
        const int before = api.GetErrorCode();
        velnorsim::SetFault(keypad, 11, c.fault);
        EXPECT_EQ(api.SetOption(option, c.result == 0 ? kPatientMs : 300), c.result);
        EXPECT_EQ(api.GetErrorCode(), c.result == 0 ? before : c.result);
        EXPECT_EQ(velnorsim::RamSettings(keypad).keyCountOption, option) << "the keypad got the command";
        ExpectUsable();
    }
}

TEST_F(FaultTest, AStatusQueryCompletedByAPlainReplyReadsAnEmptyRecord) {
    Fail(1, FaultKind::WrongType, 2);
    DEVICE_INFO info;
    info.FirmwareName = "old";
    EXPECT_EQ(api.GetDeviceStatus(&info, kPatientMs), 0);
    EXPECT_EQ(info.FirmwareName, "");
    EXPECT_EQ(info.SerialNumber, "");
}

TEST_F(FaultTest, UnpluggedBeforeASendTheWorkerClosesAndReopensByItself) {
    velnorsim::HoldCalls(Call::Close);
    velnorsim::Detach(keypad);
    // Waits without limit: it ends only when some reply comes.
    std::atomic<int> result{1};
    std::thread waiting([&] { result = api.SetLedLevel(3, 0); });

    // The write fails; the next idle wait closes the device, ConnectionLost while it does.
    ASSERT_TRUE(velnorsim::WaitForHeldCall(Call::Close, kEventuallyMs));
    EXPECT_EQ(api.GetErrorCode(), -4);
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::ConnectionLost);
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -2);
    velnorsim::ReleaseCalls(Call::Close);
    ASSERT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::State(api) == ConnectionState::NotConnected; }));
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 0);
    const int closes = velnorsim::GetCounters().exitCalls;

    velnorsim::Attach(keypad);
    ASSERT_TRUE(WaitUntil([&] { return api.RetrieveByteFromBuffer() == -1; })) << "reopened without a call";
    // lastError still reads -4, yet the reopened keypad is not taken for lost again: the worker
    // comes to its next read (after an idle wait) without closing.
    velnorsim::HoldCalls(Call::ReadTimeout);
    ASSERT_TRUE(velnorsim::WaitForHeldCall(Call::ReadTimeout, kEventuallyMs));
    velnorsim::ReleaseCalls(Call::ReadTimeout);
    EXPECT_EQ(velnorsim::GetCounters().exitCalls, closes);
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::Connected);
    EXPECT_EQ(velnorsim::GetCounters().openHandles, 1);
    EXPECT_EQ(api.GetErrorCode(), -4);

    velnorsim::InjectInputReport(keypad, ReplyReport(FrameText(2, {0})));
    waiting.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(api.GetErrorCode(), -4) << "a success leaves the failure recorded";
    EXPECT_EQ(api.SetLedLevel(3, kPatientMs), 0);
    EXPECT_EQ(velnorsim::RamSettings(keypad).ledLevel, 3);
}

// A report the keypad took in part is a failed write: -4 is recorded while the operation waits in
// vain for its reply, and the worker reopens the keypad.
TEST_F(FaultTest, AShortWriteIsAFailedWrite) {
    Fail(2, FaultKind::ShortWrite, 0, 1);
    std::thread waiting([&] { EXPECT_EQ(api.SetLedLevel(3, 2000), -3); });
    EXPECT_TRUE(WaitUntil([&] { return api.GetErrorCode() == -4; }));
    waiting.join();
    EXPECT_NE(velnorsim::RamSettings(keypad).ledLevel, 3);
    ASSERT_TRUE(WaitUntil([&] { return api.SetLedLevel(3, 300) == 0; }));
}

TEST_F(FaultTest, FailingReadsAreRecordedWithoutDroppingTheConnection) {
    velnorsim::SetReadsFail(keypad, true);
    ASSERT_TRUE(WaitUntil([&] { return api.GetErrorCode() == -9983; }));
    EXPECT_EQ(PlixoApiTestPeer::State(api), ConnectionState::Connected);
    int jack = -1;
    EXPECT_EQ(api.GetJackStatus(&jack, 300), -3);
    velnorsim::SetReadsFail(keypad, false);
    ExpectUsable();
}

TEST_F(FaultTest, ABusyLockGivesLockTimeoutAfterItsTriesAndStaysRecorded) {
    const struct {
        const char* name;
        std::mutex& mutex;
        std::function<int()> call;
    } cases[] = {
        // A time-out of 0: returning at all shows that it did not wait for one.
        {"request queue", PlixoApiTestPeer::RequestQueueMutex(api), [&] { return api.SetLedLevel(1, 0); }},
        {"key buffer", PlixoApiTestPeer::KeyBufferMutex(api), [&] { return api.RetrieveByteFromBuffer(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<void> held;
        std::promise<void> release;
        std::thread holder([&] {
            std::lock_guard lock(c.mutex);
            held.set_value();
            release.get_future().wait();
        });
        held.get_future().wait();
        EXPECT_EQ(c.call(), -9997);
        release.set_value();
        holder.join();
        EXPECT_EQ(api.GetErrorCode(), -9997);
        ExpectUsable();
        EXPECT_EQ(api.GetErrorCode(), -9997);
    }
}

TEST_F(FaultTest, RequestsKeepTheirOwnCopyOfTheCallersBytes) {
    velnorsim::HoldCalls(Call::Write);
    EXPECT_EQ(api.SetLedLevel(1, 10), -3);
    ASSERT_TRUE(velnorsim::WaitForHeldCall(Call::Write, kEventuallyMs));
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
    velnorsim::ReleaseCalls(Call::Write);
    ASSERT_TRUE(WaitUntil([&] { return velnorsim::RamSettings(keypad).serialNumber == "87654321"; }));
    const auto settings = velnorsim::RamSettings(keypad);
    EXPECT_EQ(settings.ledLevel, 1);
    EXPECT_EQ(settings.codeTable[0], 0x40);
    EXPECT_EQ(settings.codeTable[19], 0x53);
    EXPECT_EQ(CommandsOf(velnorsim::OutputReports(keypad)), (std::vector<std::string>{"02", "05", "0E"}))
        << "sent in the order they were queued";
}

}  // namespace
