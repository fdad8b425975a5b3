// Outbound: hexadecimal text, frames, the frame of every request kind, and output reports.
#include <gtest/gtest.h>

#include "protocol/DeviceRequest.h"
#include "protocol/Frame.h"
#include "protocol/HexText.h"
#include "protocol/MessageCommand.h"
#include "protocol/OutputReports.h"
#include "support/Hex.h"

using velnortest::Hex;
using velnortest::ToHex;

namespace {

TEST(HexTextTest, EncodesUpperCaseHighNibbleFirst) {
    velnor::Bytes text{'x'};
    EXPECT_EQ(velnor::BytesToHex(Hex("00 0F A5 FF 3C"), text), 10u);
    EXPECT_EQ(std::string(text.begin(), text.end()), "x000FA5FF3C");
}

TEST(HexTextTest, DecodesEitherCaseAndRefusesEverythingElse) {
    const struct {
        const char* text;
        std::size_t count;
        std::size_t stored;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"3f", 2, 1, {0x3F}},        {"3F", 2, 1, {0x3F}},       {"aB09", 4, 2, {0xAB, 0x09}},
        {"G0", 2, 0, {}},            {":0", 2, 0, {}},           {"0:", 2, 0, {}},
        {"/0", 2, 0, {}},            {"@0", 2, 0, {}},           {"`0", 2, 0, {}},
        {"g0", 2, 0, {}},            {"123", 3, 1, {0x12}},      {"12", 0, 0, {}},
        {"12", 3, 0, {}},  // count beyond the text
        {"1 2", 3, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = c.text;
        std::uint8_t out[4] = {};
        const std::span<const std::uint8_t> chars(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        EXPECT_EQ(velnor::HexToBytes(chars, c.count, out), c.stored);
        if (c.stored > 0) {
            EXPECT_EQ(std::vector<std::uint8_t>(out, out + c.stored), c.bytes);
        }
    }
}

TEST(HexTextTest, NeverWritesPastTheOutput) {
    const std::string text = "0102030405";
    const std::span<const std::uint8_t> chars(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::uint8_t out[2] = {};
    EXPECT_EQ(velnor::HexToBytes(chars, 10, out), 0u);
}

TEST(FrameTest, WorkedExamples) {
    const struct {
        std::uint8_t command;
        const char* payload;
        const char* frame;
    } cases[] = {
        {0x01, "", "3F 40 02 30 31 30 30 03 00"},
        {0x02, "05", "3F 40 02 30 32 30 31 05 03 07"},
        {0x0F, "", "3F 40 02 30 46 30 30 03 77"},
        {0x0E, "41 42 31 32", "3F 40 02 30 45 30 34 41 42 31 32 03 70"},
        // Payload bytes that look like framing travel raw and count in the checksum.
        {0x05, "03 02 06 15", "3F 40 02 30 35 30 34 03 02 06 15 03 12"},
    };
    for (const auto& c : cases) {
        velnor::Bytes frame{0xEE};  // cleared first
        EXPECT_TRUE(velnor::MakeFrame(c.command, Hex(c.payload), frame));
        EXPECT_EQ(ToHex(frame), c.frame);
    }
}

TEST(FrameTest, LengthFieldCarriesTheLow8BitsOnly) {
    velnor::Bytes frame;
    velnor::MakeFrame(0x0E, velnor::Bytes(300, 'A'), frame);
    ASSERT_EQ(frame.size(), 309u);
    EXPECT_EQ(frame[5], '2');
    EXPECT_EQ(frame[6], 'C');  // 300 = 0x12C
}

struct KindCase {
    const char* name;
    velnor::DeviceRequest request;
    const char* frame;
};

velnor::DeviceRequest Request(int kind, int value = 0, velnor::Bytes data = {}) {
    velnor::DeviceRequest request;
    request.kind = kind;
    request.value = value;
    request.data = std::move(data);
    return request;
}

TEST(FrameTest, EveryRequestKindBuildsItsFrame) {
    const velnor::Bytes table = Hex("00 02 03 06 15 FF 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D");
    const std::vector<KindCase> cases = {
        {"status", Request(1), "3F 40 02 30 31 30 30 03 00"},
        {"led level", Request(2, 5), "3F 40 02 30 32 30 31 05 03 07"},
        {"led level 256 travels as 0", Request(2, 256), "3F 40 02 30 32 30 31 00 03 02"},
        {"buzzer", Request(4, 0x80), "3F 40 02 30 34 30 31 80 03 84"},
        {"code table with framing bytes",
         Request(5, 20, table),
         "3F 40 02 30 35 31 34 00 02 03 06 15 FF 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 03 ED"},
        {"buzzer period", Request(6, 0x64), "3F 40 02 30 36 30 31 64 03 62"},
        {"keypad table minus one is FF", Request(7, -1), "3F 40 02 30 37 30 31 FF 03 F8"},
        {"write defaults", Request(9), "3F 40 02 30 39 30 30 03 08"},
        {"reset", Request(10), "3F 40 02 30 41 30 30 03 70"},
        {"option 258 travels as 2", Request(11, 258), "3F 40 02 30 42 30 31 02 03 70"},
        {"boot loader", Request(12), "3F 40 02 30 43 30 30 03 72"},
        {"serial of four", Request(14, 0, Hex("41 42 31 32")), "3F 40 02 30 45 30 34 41 42 31 32 03 70"},
        {"empty serial", Request(14), "3F 40 02 30 45 30 30 03 74"},
        {"jack status", Request(15), "3F 40 02 30 46 30 30 03 77"},
        {"a kind without a command still frames", Request(13), "3F 40 02 30 44 30 30 03 75"},
        {"only the low 8 bits of the kind", Request(0x101), "3F 40 02 30 31 30 30 03 00"},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        velnor::MessageCommand command;
        velnor::Bytes frame;
        EXPECT_TRUE(command.BuildFrame(c.request, frame));
        EXPECT_EQ(ToHex(frame), c.frame);
    }
}

TEST(FrameTest, ACodeTableShorterThanItsLengthBuildsNothing) {
    for (int value : {-1, 21}) {
        velnor::MessageCommand command;
        velnor::Bytes frame;
        EXPECT_FALSE(command.BuildFrame(Request(5, value, velnor::Bytes(20, 1)), frame));
        EXPECT_EQ(command.ResultCode, -1);
        EXPECT_TRUE(frame.empty());
    }
}

TEST(FrameTest, OnlyKindsWithACommandAreSent) {
    for (int kind = -2; kind <= 17; ++kind) {
        const bool sent = kind >= 1 && kind <= 15 && kind != 3 && kind != 8 && kind != 13;
        EXPECT_EQ(velnor::IsSentKind(kind), sent) << kind;
    }
}

TEST(OutputReportsTest, AFrameOfUpTo64BytesIsOneReport) {
    velnor::Bytes frame;
    velnor::MakeFrame(0x02, Hex("05"), frame);
    const auto reports = velnor::CutIntoReports(frame);
    ASSERT_EQ(reports.size(), 1u);
    velnor::Bytes expected = velnortest::Padded(frame);
    EXPECT_EQ(velnor::Bytes(reports[0].begin(), reports[0].end()), expected);

    velnor::MakeFrame(0x0E, velnor::Bytes(55, 'S'), frame);
    ASSERT_EQ(frame.size(), 64u);
    EXPECT_EQ(velnor::CutIntoReports(frame).size(), 1u);
    EXPECT_TRUE(velnor::CutIntoReports(velnor::Bytes{}).empty());
}

TEST(OutputReportsTest, LongerFramesGoOnBehindTheTwoLeadBytes) {
    velnor::Bytes payload(60);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i + 1);
    velnor::Bytes frame;
    velnor::MakeFrame(0x0E, payload, frame);
    ASSERT_EQ(frame.size(), 69u);
    const auto reports = velnor::CutIntoReports(frame);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(velnor::Bytes(reports[0].begin(), reports[0].end()), velnor::Bytes(frame.begin(), frame.begin() + 64));
    velnor::Bytes second(frame.begin() + 62, frame.end());  // frame bytes 64 on, behind two lead bytes
    second[0] = 0x3F;
    second[1] = 0x40;
    EXPECT_EQ(velnor::Bytes(reports[1].begin(), reports[1].end()), velnortest::Padded(second));

    // 64 + 62 + 62 frame bytes fill three reports exactly; one more needs a fourth.
    velnor::MakeFrame(0x0E, velnor::Bytes(188 - 9, 'x'), frame);
    EXPECT_EQ(velnor::CutIntoReports(frame).size(), 3u);
    velnor::MakeFrame(0x0E, velnor::Bytes(189 - 9, 'x'), frame);
    const auto four = velnor::CutIntoReports(frame);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[3][2], frame.back());
    EXPECT_EQ(four[3][3], 0);
}

}  // namespace
