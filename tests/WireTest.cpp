// Every command as the simulated keypad receives it, and inbound messages reaching the reply
// slot, or not. (Flash, reset and reopening in a row show in the utility's restore runs.)
#include <gtest/gtest.h>

#include <functional>

#include "support/Hex.h"
#include "support/KeypadTest.h"
#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"

using velnorsim::KeypadSettings;
using namespace velnortest;

namespace {

using WireTest = KeypadTest;

const char kTable[] = "\x00\x02\x03\x06\x15\xff\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d";

TEST_F(WireTest, EveryOperationSendsItsFrameAndCompletesOnTheReply) {
    int jack = -1;
    DEVICE_INFO info;
    info.FirmwareName = "a much longer text from before";
    info.SerialNumber = "also longer than sixteen characters";
    const struct {
        const char* name;
        std::function<int()> call;
        const char* frame;
    } cases[] = {
        {"SetLedLevel", [&] { return api.SetLedLevel(5, kPatientMs); }, "3F 40 02 30 32 30 31 05 03 07"},
        {"SetBuzzer", [&] { return api.SetBuzzer(0x80, kPatientMs); }, "3F 40 02 30 34 30 31 80 03 84"},
        {"SetBuzzerPeriod low 8 bits", [&] { return api.SetBuzzerPeriod(0x164, kPatientMs); }, "3F 40 02 30 36 30 31 64 03 62"},
        {"SetKeypadTable", [&] { return api.SetKeypadTable(2, kPatientMs); }, "3F 40 02 30 37 30 31 02 03 05"},
        {"SetKeypadTable minus one passes the check", [&] { return api.SetKeypadTable(-1, kPatientMs); },
         "3F 40 02 30 37 30 31 FF 03 F8"},
        {"SetOption 258", [&] { return api.SetOption(258, kPatientMs); }, "3F 40 02 30 42 30 31 02 03 70"},
        {"LoadCodeTable with bytes that look like framing", [&] { return api.LoadCodeTable(kTable, 20, kPatientMs); },
         "3F 40 02 30 35 31 34 00 02 03 06 15 FF 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 03 ED"},
        {"SetSerialNumber", [&] { return api.SetSerialNumber("AB12", kPatientMs); }, "3F 40 02 30 45 30 34 41 42 31 32 03 70"},
        {"SetSerialNumber empty", [&] { return api.SetSerialNumber("", kPatientMs); }, "3F 40 02 30 45 30 30 03 74"},
        {"StartBSL", [&] { return api.StartBSL(kPatientMs); }, "3F 40 02 30 43 30 30 03 72"},
        {"GetJackStatus", [&] { return api.GetJackStatus(&jack, kPatientMs); }, "3F 40 02 30 46 30 30 03 77"},
        {"GetDeviceStatus", [&] { return api.GetDeviceStatus(&info, kPatientMs); }, "3F 40 02 30 31 30 30 03 00"},
    };
    KeypadSettings expected = velnorsim::RamSettings(keypad);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        velnorsim::ClearOutputReports(keypad);
        EXPECT_EQ(c.call(), 0);
        const auto reports = velnorsim::OutputReports(keypad);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(ToHex(reports[0]), ToHex(Padded(Hex(c.frame))));
        EXPECT_FALSE(PlixoApiTestPeer::ReplySlotHolds(api)) << "the operation took and freed the record";
    }
    EXPECT_EQ(api.GetErrorCode(), 0);
    EXPECT_EQ(jack, 255) << "widened without sign";
    EXPECT_EQ(info.FirmwareName, "V6.1");
    EXPECT_EQ(info.SerialNumber, "") << "the keypad's texts, not a mixture";
    EXPECT_EQ(ToHex({info.LedLevel, info.BuzzerSetting, info.BuzzerPeriod, info.KeypadTable, info.KeyCountOption, info.CodeTable[5]}),
              "05 80 64 FF 02 FF");
    // The keypad took each payload (each frame's own bytes are checked above).
    expected.ledLevel = 5;
    expected.buzzer = 0x80;
    expected.buzzerPeriod = 0x64;
    expected.keypadTable = 0xFF;
    expected.keyCountOption = 2;
    std::copy_n(kTable, 20, expected.codeTable.begin());
    expected.serialNumber = "";
    EXPECT_EQ(velnorsim::RamSettings(keypad), expected);
}

TEST_F(WireTest, ASerialOf255BytesGoesOutInFiveReports) {
    velnorsim::ClearOutputReports(keypad);
    const std::string serial(255, 'S');
    EXPECT_EQ(api.SetSerialNumber(serial.c_str(), kPatientMs), 0);
    EXPECT_EQ(velnorsim::OutputReports(keypad).size(), 5u);
    EXPECT_EQ(velnorsim::RamSettings(keypad).serialNumber, serial);
    EXPECT_EQ(velnorsim::FrameErrors(keypad), 0);
}

TEST_F(WireTest, InjectedMessagesCompleteByTypeAndUnexpectedOnesAreRecorded) {
    const struct {
        const char* name;
        Bytes report;
        int completes;
        int errorAfter;
    } cases[] = {
        {"ACK report", Padded(Hex("3F 00 06")), 0, 0},
        {"NAK report", Padded(Hex("3F 00 15")), 0, 0},
        {"frame of type 16", ReplyReport(FrameText(16, {0})), 0, 0},
        {"frame of type 17", ReplyReport(FrameText(17, {0})), 0, 0},
        {"type 3", ReplyReport(FrameText(3, {0})), 0, -9995},
        {"type 8", ReplyReport(FrameText(8, {0})), 0, -9995},
        {"type 13", ReplyReport(FrameText(13, {0})), 0, -9995},
        {"type 18", ReplyReport(FrameText(18, {0})), 0, -9995},
        {"type 255", ReplyReport(FrameText(255, {0})), 0, -9995},
        {"two-character text is type 0", Padded(Hex("3F 05 02 30 31 03 00")), 0, -9995},
        {"type 2 completes", ReplyReport(FrameText(2, {0})), 1, -9995},
    };
    // Each message is followed by a jack status reply, whose record in the slot shows that both
    // were read.
    const Bytes marker = ReplyReport(FrameText(15, Hex("00 5A")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlixoApiTestPeer::ResetReplyCounter(api);
        velnorsim::InjectInputReport(keypad, c.report);
        velnorsim::InjectInputReport(keypad, marker);
        std::unique_ptr<velnor::MessageCommand> record;
        ASSERT_TRUE(WaitUntil([&] {
            if (auto taken = PlixoApiTestPeer::TakeReply(api); taken && taken->JackStatus == 0x5A) record = std::move(taken);
            return record != nullptr;
        }));
        EXPECT_EQ(record->ResultCode, 0);
        EXPECT_EQ(PlixoApiTestPeer::ReplyCounter(api), 1 + c.completes);
        EXPECT_EQ(api.GetErrorCode(), c.errorAfter);
    }
}

}  // namespace
