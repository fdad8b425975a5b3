// Inbound: assembling reports into frames, decoding frame texts, reading replies, routing types.
#include <gtest/gtest.h>

#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"
#include "protocol/MessageIncoming.h"
#include "protocol/MessageRoute.h"
#include "protocol/ReadCycle.h"
#include "support/Hex.h"

using velnor::Bytes;
using velnor::MessageIncoming;
using velnortest::Hex;
using velnortest::Padded;
using velnortest::ToHex;

namespace {

// An inbound report laid out as the keypad sends it, built here independently of the library:
// 3F, index of the ETX, STX, text, ETX, XOR checksum from STX through ETX.
Bytes Inbound(const std::string& text, bool pad = true) {
    const Bytes textBytes(text.begin(), text.end());
    Bytes report{0x3F, static_cast<std::uint8_t>(3 + textBytes.size()), 0x02};
    report.insert(report.end(), textBytes.begin(), textBytes.end());
    report.push_back(0x03);
    std::uint8_t checksum = 0;
    for (std::size_t i = 2; i < report.size(); ++i) checksum ^= report[i];
    report.push_back(checksum);
    return pad ? Padded(report) : report;
}

std::string Text(const std::string& header, const Bytes& data) {
    std::string text = header;
    text.append(data.begin(), data.end());
    return text;
}

struct Delivered {
    MessageIncoming::IncomingStatus status;
    std::string text;  // hex
};

struct AssemblyCase {
    const char* name;
    std::vector<Bytes> reports;
    std::vector<Delivered> delivered;
    MessageIncoming::AssemblerState stateAfter = MessageIncoming::WaitStx;
};

std::vector<AssemblyCase> AssemblyCases() {
    const Bytes jack = Hex("3F 09 02 30 46 30 32 00 01 03 74");
    Bytes badThenGood = Hex("3F 09 02 30 46 30 32 00 01 03 75");  // checksum off by one
    // The rest of the report is read as if the bad checksum byte were a report id.
    const Bytes good = Inbound(Text("0202", {0x00, 0x05}), false);
    badThenGood.insert(badThenGood.end(), good.begin() + 1, good.end());
    const Bytes highChecksum = Inbound(Text("0201", {0x80}));

    std::vector<Bytes> endless{Padded(Hex("3F 3F 02"), 64)};
    for (std::size_t i = 3; i < 64; ++i) endless[0][i] = 'A';
    for (int i = 0; i < 8; ++i) endless.push_back(Bytes(64, 'A'));
    for (int i = 1; i < 9; ++i) endless[static_cast<std::size_t>(i)][0] = 0x3F, endless[static_cast<std::size_t>(i)][1] = 0x3F;
    endless.push_back(jack);

    return {
        {"worked jack status example", {Padded(jack)}, {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"ACK at offset 2 whatever follows", {Padded(Hex("3F 09 06 30 46 30 32 00 01 03 74"))}, {{MessageIncoming::Ack, ""}}},
        {"NAK at offset 2 whatever follows", {Padded(Hex("00 00 15 02 02 02"))}, {{MessageIncoming::Nak, ""}}},
        {"no STX anywhere is dropped", {Padded(Hex("3F 10 11 12 13 04 05"))}, {}},
        {"checksum of 0x80 and above", {highChecksum}, {{MessageIncoming::FrameOk, "30 32 30 31 80"}}},
        {"ChecksumBadThenGoodFrameInOneReport", {Padded(badThenGood)}, {{MessageIncoming::FrameOk, "30 32 30 32 00 05"}}},
        {"two reports, two frames", {Padded(jack), Inbound(Text("0B01", {0}))},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}, {MessageIncoming::FrameOk, "30 42 30 31 00"}}},
        {"ETX index past the report is dropped, the next report is fine",
         {Padded(Hex("3F C8 02 30 46 30 32 00 01 03 74")), Padded(jack)},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"ETX index equal to the report length", {Hex("3F 0B 02 30 46 30 32 00 01 03 74"), Padded(jack)},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"ETX index inside the report but off the ETX: the next reply is not swallowed",
         {Padded(Hex("3F 14 02 30 46 30 32 00 01 03 74")), Padded(jack)},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"ETX index before the text", {Padded(Hex("03 00 02 30 46 30 32 00 01 03 74")), Padded(jack)},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"a late STX never reads past the bytes received", {Hex("3F 09 11 12 13 02 30 46 30 03")}, {},
         MessageIncoming::EtxSeen},
        {"frame continued in a second report",
         {Hex("3F 06 02 30 32 30 31"), Hex("3F 03 05 03 07")},
         {{MessageIncoming::FrameOk, "30 32 30 31 05"}}},
        {"checksum in the next report", {Hex("3F 09 02 30 46 30 32 00 01 03"), Padded(Hex("74"))},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"a frame that never ends is dropped, then the next one is read", endless,
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
        {"empty and tiny reports", {Bytes{}, Hex("3F"), Hex("3F 00"), Padded(jack)},
         {{MessageIncoming::FrameOk, "30 46 30 32 00 01"}}},
    };
}

TEST(ReadCycleTest, AssemblesFramesFromReports) {
    for (const AssemblyCase& c : AssemblyCases()) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<MessageIncoming> current;
        velnor::InboundQueue inbound;
        for (const Bytes& report : c.reports) {
            Bytes buffer = report;
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

TEST(ReadCycleTest, ABadChecksumLeavesTheRestOfTheReportForAFreshAssembler) {
    MessageIncoming incoming;
    Bytes buffer = Padded(Hex("3F 09 02 30 46 30 32 00 01 03 99 AA"));
    EXPECT_TRUE(incoming.ProcessInput(buffer));
    EXPECT_EQ(incoming.status, MessageIncoming::ChecksumBad);
    EXPECT_EQ(incoming.state, MessageIncoming::WaitStx);
    ASSERT_EQ(buffer.size(), 54u);
    EXPECT_EQ(buffer[0], 0x99);
}

TEST(ReadCycleTest, LyingEtxIndexIsRecordedAsTheAssemblersOwnError) {
    MessageIncoming incoming;
    Bytes buffer = Padded(Hex("3F FF 02 30 46"));
    EXPECT_TRUE(incoming.ProcessInput(buffer)) << "below the boundary: the result stays true";
    EXPECT_EQ(incoming.errorCode, MessageIncoming::ETX_OUTSIDE_FRAME);
    EXPECT_TRUE(incoming.text.empty());
}

struct TextCase {
    const char* name;
    std::string text;
    int type;
    int length;
    int errorCode;
    Bytes dataStart;  // the first bytes of the data area afterwards (prefilled with EE)
};

TEST(MessageHeaderTest, DecodesTypeLengthAndData) {
    const std::vector<TextCase> cases = {
        {"jack status", Text("0F02", {0x00, 0x01}), 15, 2, 0, Hex("00 01 EE")},
        {"lower case", Text("0f02", {0x07, 0x08}), 15, 2, 0, Hex("07 08 EE")},
        {"two characters", "01", 0, 0, -8999, Hex("EE")},
        {"empty", "", 0, 0, -8999, Hex("EE")},
        {"type does not decode", "0G00", 0, 0, -8997, Hex("EE")},
        {"three characters", "010", 1, 0, -8996, Hex("EE")},
        {"length does not decode: data as before", "01ZZ12", 1, 0, -8996, Hex("EE EE")},
        {"shorter than announced: the rest of the announced bytes are zero", Text("0105", {0x41, 0x42}), 1, 5, 0,
         Hex("41 42 00 00 00 EE")},
        {"nothing of the announced data", "01FF", 1, 255, 0, Hex("00 00 00")},
        {"longer than announced", Text("0202", {1, 2, 3, 4}), 2, 2, 0, Hex("01 02 EE")},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        velnor::MessageHeader header;
        header.data.fill(0xEE);
        const Bytes text(c.text.begin(), c.text.end());
        EXPECT_TRUE(header.ParseText(text.data(), text.size()));
        EXPECT_EQ(header.type, c.type);
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.errorCode, c.errorCode);
        EXPECT_EQ(Bytes(header.data.begin(), header.data.begin() + static_cast<std::ptrdiff_t>(c.dataStart.size())),
                  c.dataStart);
        if (c.length == 255) {
            EXPECT_EQ(header.data[254], 0) << "zeroed up to the announced length";
            EXPECT_EQ(header.data[255], 0xEE);
        }
    }
}

TEST(MessageHeaderTest, AckAndNakTouchNothingButTheType) {
    for (auto [status, type] : {std::pair{MessageIncoming::Ack, 16}, std::pair{MessageIncoming::Nak, 17}}) {
        velnor::MessageHeader header;
        header.length = 7;
        header.errorCode = -8999;
        MessageIncoming incoming;
        incoming.status = status;
        EXPECT_TRUE(header.ParseHeader(incoming));
        EXPECT_EQ(header.type, type);
        EXPECT_EQ(header.length, 7);
        EXPECT_EQ(header.errorCode, -8999);
    }
}

velnor::MessageHeader StatusHeader(const std::string& firmware, const std::string& serial, std::uint8_t afterName = 0) {
    velnor::MessageHeader header;
    Bytes data = Hex("00 05 77 01 02 64 01");
    for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0x30 + i));
    data.insert(data.end(), firmware.begin(), firmware.end());
    data.push_back(afterName);
    data.insert(data.end(), serial.begin(), serial.end());
    data.push_back(0);
    const std::string text = Text("01" + std::string(1, "0123456789ABCDEF"[data.size() >> 4]) +
                                      std::string(1, "0123456789ABCDEF"[data.size() & 15]),
                                  data);
    const Bytes bytes(text.begin(), text.end());
    header.ParseText(bytes.data(), bytes.size());
    return header;
}

TEST(ReplyRecordTest, StatusReplyFillsTheRecordByFixedPositions) {
    const struct {
        const char* name;
        velnor::MessageHeader header;
        std::string firmware;
        std::string serial;
    } cases[] = {
        {"no firmware name", StatusHeader("", "12345678"), "", "12345678"},
        {"three-character name", StatusHeader("V61", "ABCDEFGH"), "V61", "ABCDEFGH"},
        {"seven characters: the byte after is skipped whatever it is", StatusHeader("V6.1234", "S1", 'X'), "V6.1234",
         "S1"},
        {"serial of 20 arrives as its first 16", StatusHeader("V7", "ABCDEFGHIJKLMNOPQRST"), "V7",
         "ABCDEFGHIJKLMNOP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        velnor::MessageCommand record;
        ASSERT_TRUE(record.ParseStatus(c.header));
        EXPECT_EQ(record.ResultCode, 0);
        EXPECT_EQ(record.LedLevel, 0x05);
        EXPECT_EQ(record.BuzzerSetting, 0x01) << "data byte 2 is not read";
        EXPECT_EQ(record.KeyCountOption, 0x02) << "data byte 4";
        EXPECT_EQ(record.BuzzerPeriod, 0x64);
        EXPECT_EQ(record.KeypadTable, 0x01);
        EXPECT_EQ(record.CodeTable[0], 0x30);
        EXPECT_EQ(record.CodeTable[19], 0x43);
        EXPECT_EQ(record.FirmwareName, c.firmware);
        EXPECT_EQ(record.SerialNumber, c.serial);
    }
}

TEST(ReplyRecordTest, JackStatusIsDataByteOne) {
    velnor::MessageHeader header;
    const Bytes text = Hex("30 46 30 32 C8 FF");
    header.ParseText(text.data(), text.size());
    velnor::MessageCommand record;
    EXPECT_TRUE(record.ParseJackStatus(header));
    EXPECT_EQ(record.ResultCode, 200);
    EXPECT_EQ(record.JackStatus, 255);
}

TEST(MessageRouteTest, EveryTypeHasItsRoute) {
    using velnor::MessageRoute;
    for (int type = -1; type <= 256; ++type) {
        MessageRoute expected = MessageRoute::Unexpected;
        if (type == 1) expected = MessageRoute::StatusReply;
        if (type == 15) expected = MessageRoute::JackStatusReply;
        if (type == 2 || type == 4 || type == 5 || type == 6 || type == 7 || type == 9 || type == 10 || type == 11 ||
            type == 12 || type == 14) {
            expected = MessageRoute::PlainReply;
        }
        if (type == 16 || type == 17) expected = MessageRoute::Acknowledgement;
        EXPECT_EQ(velnor::RouteOf(type), expected) << type;
    }
}

}  // namespace
