// The wire format alone: decoding hexadecimal text, assembling inbound reports into frames,
// decoding frame texts. (Every frame sent, cut into reports, its hexadecimal fields written out,
// status records, routing by type, and which kinds are sent, show in the wire tests, through
// the library.)
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/HexText.h"
#include "protocol/MessageHeader.h"
#include "protocol/ReadCycle.h"
#include "support/Hex.h"

using velnor::MessageIncoming;
using namespace velnortest;
using namespace std::string_literals;

namespace {

TEST(HexTextTest, DecodesEitherCaseAndRefusesEverythingElse) {
    const struct {
        const char* text;
        std::size_t count;
        const char* bytes;  // empty: nothing stored, 0 returned
    } cases[] = {
        {"3f", 2, "3F"}, {"3F", 2, "3F"}, {"aB09", 4, "AB 09"},
        {"123", 3, "12"},  // an odd last character is dropped
        {"G0", 2, ""},   {":0", 2, ""},   {"0:", 2, ""},        {"/0", 2, ""},     {"@0", 2, ""},
        {"`0", 2, ""},   {"g0", 2, ""},   {"1 2", 3, ""},       {"12", 0, ""},
        {"12", 3, ""},                   // count beyond the text
        {"0102030405", 10, ""},          // more bytes than the output holds
    };
    for (const auto& c : cases) {
        std::uint8_t out[4] = {};
        const std::size_t stored = velnor::HexToBytes(Ascii(c.text), c.count, out);
        EXPECT_EQ(ToHex(Bytes(out, out + stored)), c.bytes) << c.text;
    }
}

TEST(ReadCycleTest, AssemblesFramesFromReports) {
    struct Delivered {
        MessageIncoming::IncomingStatus status;
        const char* text;  // hex
    };
    const Bytes jack = Hex("3F 09 02 30 46 30 32 00 01 03 74");
    const Delivered jackText{MessageIncoming::FrameOk, "30 46 30 32 00 01"};
    // The rest of the report is read as if the bad checksum byte were a report id.
    Bytes badThenGood = Hex("3F 09 02 30 46 30 32 00 01 03 75");
    const Bytes good = Framed({0x3F, 9}, Ascii("0202\x00\x05"s));
    badThenGood.insert(badThenGood.end(), good.begin() + 1, good.end());

    std::vector<Bytes> endless{Padded(Hex("3F 3F 02"))};
    std::fill(endless[0].begin() + 3, endless[0].end(), 'A');
    for (int i = 0; i < 8; ++i) {
        endless.push_back(Bytes(64, 'A'));
        endless.back()[0] = endless.back()[1] = 0x3F;
    }
    endless.push_back(jack);

    const struct {
        const char* name;
        std::vector<Bytes> reports;
        std::vector<Delivered> delivered;
        MessageIncoming::AssemblerState stateAfter = MessageIncoming::WaitStx;
    } cases[] = {
        {"worked jack status example", {Padded(jack)}, {jackText}},
        {"ACK at offset 2 whatever follows", {Padded(Hex("3F 09 06 30 46 30 32 00 01 03 74"))}, {{MessageIncoming::Ack, ""}}},
        {"no STX anywhere is dropped", {Padded(Hex("3F 10 11 12 13 04 05"))}, {}},
        {"checksum of 0x80 and above", {ReplyReport(Ascii("0201\x80"))}, {{MessageIncoming::FrameOk, "30 32 30 31 80"}}},
        {"ChecksumBadThenGoodFrameInOneReport", {Padded(badThenGood)}, {{MessageIncoming::FrameOk, "30 32 30 32 00 05"}}},
        {"two reports, two frames", {Padded(jack), ReplyReport(Ascii("0B01\x00"s))},
         {jackText, {MessageIncoming::FrameOk, "30 42 30 31 00"}}},
        {"ETX index past the report is dropped, the next report is fine",
         {Padded(Hex("3F C8 02 30 46 30 32 00 01 03 74")), Padded(jack)}, {jackText}},
        {"ETX index equal to the report length", {Hex("3F 0B 02 30 46 30 32 00 01 03 74"), Padded(jack)}, {jackText}},
        {"ETX index inside the report but off the ETX: the next reply is not swallowed",
         {Padded(Hex("3F 14 02 30 46 30 32 00 01 03 74")), Padded(jack)}, {jackText}},
        {"ETX index before the text", {Padded(Hex("03 00 02 30 46 30 32 00 01 03 74")), Padded(jack)}, {jackText}},
        {"a late STX never reads past the bytes received", {Hex("3F 09 11 12 13 02 30 46 30 03")}, {},
         MessageIncoming::EtxSeen},
        {"checksum in the next report", {Hex("3F 09 02 30 46 30 32 00 01 03"), Padded(Hex("74"))}, {jackText}},
        {"a frame that never ends is dropped, then the next one is read", endless, {jackText}},
        {"empty and tiny reports", {Bytes{}, Hex("3F"), Hex("3F 00"), Padded(jack)}, {jackText}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<MessageIncoming> current;
        velnor::InboundQueue inbound;
        for (Bytes buffer : c.reports) {
            velnor::RunReadCycle(buffer, current, inbound);
            EXPECT_TRUE(buffer.empty());
            ASSERT_NE(current, nullptr);
            EXPECT_LE(current->text.size(), MessageIncoming::kMaxTextLength);
        }
        ASSERT_EQ(inbound.size(), c.delivered.size());
        for (std::size_t i = 0; i < inbound.size(); ++i) {
            EXPECT_EQ(inbound[i]->status, c.delivered[i].status);
            EXPECT_EQ(ToHex(inbound[i]->text), c.delivered[i].text);
        }
        EXPECT_EQ(current->status, MessageIncoming::Pending);
        EXPECT_EQ(current->state, c.stateAfter);
    }
}

TEST(MessageHeaderTest, DecodesTypeLengthAndData) {
    const struct {
        const char* name;
        Bytes text;
        int type;
        int length;
        int errorCode;
        const char* dataStart;  // the first bytes of the data area afterwards (prefilled with EE)
    } cases[] = {
        {"jack status", Ascii("0F02\x00\x01"s), 15, 2, 0, "00 01 EE"},
        {"lower case", Ascii("0f02\x07\x08"), 15, 2, 0, "07 08 EE"},
        {"two characters", Ascii("01"), 0, 0, -8999, "EE"},
        {"empty", Ascii(""), 0, 0, -8999, "EE"},
        {"type does not decode", Ascii("0G00"), 0, 0, -8997, "EE"},
        {"three characters", Ascii("010"), 1, 0, -8996, "EE"},
        {"length does not decode: data as before", Ascii("01ZZ12"), 1, 0, -8996, "EE EE"},
        {"shorter than announced: the rest of the announced bytes are zero", Ascii("0105AB"), 1, 5, 0,
         "41 42 00 00 00 EE"},
        {"nothing of the announced data: zeroed up to the length", Ascii("01FF"), 1, 255, 0, "00 00 00"},
        {"longer than announced", Ascii("0202\x01\x02\x03\x04"), 2, 2, 0, "01 02 EE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        velnor::MessageHeader header;
        header.data.fill(0xEE);
        header.ParseText(c.text.data(), c.text.size());
        EXPECT_EQ(header.type, c.type);
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.errorCode, c.errorCode);
        const Bytes expected = Hex(c.dataStart);
        EXPECT_EQ(ToHex(Bytes(header.data.begin(), header.data.begin() + static_cast<std::ptrdiff_t>(expected.size()))),
                  c.dataStart);
        if (c.length == 255) {
            EXPECT_EQ(ToHex({header.data[254], header.data[255]}), "00 EE");
        }
    }
}

}  // namespace
