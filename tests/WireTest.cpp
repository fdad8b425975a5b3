// Every command as the simulated keypad receives it, and replies reaching the reply slot.
#include <gtest/gtest.h>

#include <functional>

#include "protocol/MessageCommand.h"
#include "support/ConnectedKeypadTest.h"
#include "support/Hex.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

using namespace std::chrono_literals;
using velnorsim::KeypadSettings;
using velnortest::Hex;
using velnortest::Padded;
using velnortest::ToHex;
using velnortest::WaitUntil;

namespace {

constexpr int kTimeout = 1000;

class WireTest : public ConnectedKeypadTest {
protected:
    void SetUp() override {
        ConnectedKeypadTest::SetUp();
        velnorsim::KeypadSettings settings = velnorsim::RamSettings(keypad);
        settings.jackStatus = 0xFF;
        velnorsim::SetRamSettings(keypad, settings);
    }
};

struct OperationCase {
    const char* name;
    std::function<int(PlixoApi&)> call;
    const char* frame;
    std::function<void(KeypadSettings&)> expectedChange;
};

const char kTable[] = "\x00\x02\x03\x06\x15\xff\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d";

TEST_F(WireTest, EveryOperationSendsItsFrameAndCompletesOnTheReply) {
    const std::vector<OperationCase> cases = {
        {"SetLedLevel", [](PlixoApi& a) { return a.SetLedLevel(5, kTimeout); }, "3F 40 02 30 32 30 31 05 03 07",
         [](KeypadSettings& s) { s.ledLevel = 5; }},
        {"SetBuzzer", [](PlixoApi& a) { return a.SetBuzzer(0x80, kTimeout); }, "3F 40 02 30 34 30 31 80 03 84",
         [](KeypadSettings& s) { s.buzzer = 0x80; }},
        {"SetBuzzerPeriod low 8 bits", [](PlixoApi& a) { return a.SetBuzzerPeriod(0x164, kTimeout); },
         "3F 40 02 30 36 30 31 64 03 62", [](KeypadSettings& s) { s.buzzerPeriod = 0x64; }},
        {"SetKeypadTable", [](PlixoApi& a) { return a.SetKeypadTable(2, kTimeout); }, "3F 40 02 30 37 30 31 02 03 05",
         [](KeypadSettings& s) { s.keypadTable = 2; }},
        {"SetKeypadTable minus one passes the check",
         [](PlixoApi& a) { return a.SetKeypadTable(-1, kTimeout); }, "3F 40 02 30 37 30 31 FF 03 F8",
         [](KeypadSettings& s) { s.keypadTable = 0xFF; }},
        {"SetOption 258", [](PlixoApi& a) { return a.SetOption(258, kTimeout); }, "3F 40 02 30 42 30 31 02 03 70",
         [](KeypadSettings& s) { s.keyCountOption = 2; }},
        {"LoadCodeTable", [](PlixoApi& a) { return a.LoadCodeTable(kTable, 20, kTimeout); },
         "3F 40 02 30 35 31 34 00 02 03 06 15 FF 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 03 ED",
         [](KeypadSettings& s) {
             for (int i = 0; i < 20; ++i) s.codeTable[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(kTable[i]);
         }},
        {"SetSerialNumber", [](PlixoApi& a) { return a.SetSerialNumber("AB12", kTimeout); },
         "3F 40 02 30 45 30 34 41 42 31 32 03 70", [](KeypadSettings& s) { s.serialNumber = "AB12"; }},
        {"SetSerialNumber empty", [](PlixoApi& a) { return a.SetSerialNumber("", kTimeout); },
         "3F 40 02 30 45 30 30 03 74", [](KeypadSettings& s) { s.serialNumber = ""; }},
        {"StartBSL", [](PlixoApi& a) { return a.StartBSL(kTimeout); }, "3F 40 02 30 43 30 30 03 72",
         [](KeypadSettings&) {}},
        {"GetJackStatus", [](PlixoApi& a) {
             int jack = -1;
             const int result = a.GetJackStatus(&jack, kTimeout);
             EXPECT_EQ(jack, 255) << "widened without sign";
             return result;
         },
         "3F 40 02 30 46 30 30 03 77", [](KeypadSettings&) {}},
        {"GetDeviceStatus", [](PlixoApi& a) {
             DEVICE_INFO info;
             info.FirmwareName = "a much longer text from before";
             info.SerialNumber = "also longer than sixteen characters";
             const int result = a.GetDeviceStatus(&info, kTimeout);
             EXPECT_EQ(info.FirmwareName, "V6.1");
             EXPECT_EQ(info.SerialNumber, "") << "the keypad's texts, not a mixture";
             EXPECT_EQ(info.LedLevel, 5);
             EXPECT_EQ(info.BuzzerSetting, 0x80);
             EXPECT_EQ(info.BuzzerPeriod, 0x64);
             EXPECT_EQ(info.KeypadTable, 0xFF);
             EXPECT_EQ(info.KeyCountOption, 2);
             EXPECT_EQ(info.CodeTable[5], 0xFF);
             return result;
         },
         "3F 40 02 30 31 30 30 03 00", [](KeypadSettings&) {}},
    };
    KeypadSettings expected = velnorsim::RamSettings(keypad);
    for (const OperationCase& c : cases) {
        SCOPED_TRACE(c.name);
        velnorsim::ClearOutputReports(keypad);
        EXPECT_EQ(c.call(api), 0);
        const auto reports = velnorsim::OutputReports(keypad);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(ToHex(reports[0]), ToHex(Padded(Hex(c.frame))));
        c.expectedChange(expected);
        EXPECT_EQ(velnorsim::RamSettings(keypad), expected);
        EXPECT_GE(PlixoApiTestPeer::ReplyCounter(api), 1);
        EXPECT_FALSE(PlixoApiTestPeer::ReplySlotHolds(api)) << "the operation took and freed the record";
    }
    EXPECT_EQ(api.GetErrorCode(), 0);
}

TEST_F(WireTest, WriteDefaultToFlashThenResetBringsTheKeypadBackWithItsFlash) {
    ASSERT_EQ(api.SetLedLevel(7, kTimeout), 0);
    ASSERT_EQ(api.WriteDefaultToFlash(kTimeout), 0);
    EXPECT_EQ(velnorsim::FlashSettings(keypad).ledLevel, 7);
    ASSERT_EQ(api.SetLedLevel(9, kTimeout), 0);
    EXPECT_EQ(api.ResetToFactoryDefault(kTimeout), 0);
    EXPECT_EQ(ToHex(velnorsim::OutputReports(keypad).back()), ToHex(Padded(Hex("3F 40 02 30 41 30 30 03 70"))));
    EXPECT_FALSE(velnorsim::IsAttached(keypad)) << "the keypad restarts";
    EXPECT_TRUE(WaitUntil([&] { return velnorsim::IsAttached(keypad); }, 3s));
    EXPECT_EQ(velnorsim::RamSettings(keypad).ledLevel, 7) << "back with RAM equal to flash";
    EXPECT_TRUE(api.InitialiseBrellUSBDevice(8263, 2495));
    DEVICE_INFO info;
    EXPECT_EQ(api.GetDeviceStatus(&info, kTimeout), 0);
    EXPECT_EQ(info.LedLevel, 7);
}

TEST_F(WireTest, AnInjectedReplyLandsInTheSlotAndMovesTheCounter) {
    ASSERT_EQ(PlixoApiTestPeer::ReplyCounter(api), 0);
    velnorsim::InjectInputReport(keypad, Padded(Hex("3F 09 02 30 46 30 32 00 01 03 74")));
    ASSERT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::ReplyCounter(api) == 1; }, 2s));
    const auto record = PlixoApiTestPeer::TakeReply(api);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->ResultCode, 0);
    EXPECT_EQ(record->JackStatus, 1);
    EXPECT_EQ(api.GetErrorCode(), 0);
}

std::vector<std::uint8_t> FrameOfType(const char* type) {
    std::vector<std::uint8_t> report{0x3F, 8, 0x02, static_cast<std::uint8_t>(type[0]), static_cast<std::uint8_t>(type[1]),
                                     '0', '1', 0x00, 0x03};
    std::uint8_t checksum = 0;
    for (std::size_t i = 2; i < report.size(); ++i) checksum ^= report[i];
    report.push_back(checksum);
    return Padded(report);
}

TEST_F(WireTest, MessagesOfTypesWithoutACommandCompleteNothingAndAreRecorded) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> report;
        int counterAfter;
        int errorAfter;
    };
    const std::vector<Case> cases = {
        {"ACK report", Padded(Hex("3F 00 06")), 0, 0},
        {"NAK report", Padded(Hex("3F 00 15")), 0, 0},
        {"frame of type 16", FrameOfType("10"), 0, 0},
        {"frame of type 17", FrameOfType("11"), 0, 0},
        {"type 3", FrameOfType("03"), 0, -9995},
        {"type 8", FrameOfType("08"), 0, -9995},
        {"type 13", FrameOfType("0D"), 0, -9995},
        {"type 18", FrameOfType("12"), 0, -9995},
        {"type 255", FrameOfType("FF"), 0, -9995},
        {"two-character text is type 0", Padded(Hex("3F 05 02 30 31 03 00")), 0, -9995},
        {"type 2 completes", FrameOfType("02"), 1, -9995},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        velnorsim::InjectInputReport(keypad, c.report);
        // Then one report that completes, to know the first was read.
        velnorsim::InjectInputReport(keypad, FrameOfType("04"));
        ASSERT_TRUE(WaitUntil([&] { return PlixoApiTestPeer::ReplyCounter(api) >= 1 + c.counterAfter; }, 3s));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(PlixoApiTestPeer::ReplyCounter(api), 1 + c.counterAfter);
        EXPECT_EQ(api.GetErrorCode(), c.errorAfter);
        PlixoApiTestPeer::TakeReply(api);
        PlixoApiTestPeer::ResetReplyCounter(api);
    }
}

}  // namespace
