// The list of serials and the record of what became of each: what is free, what a torn or hand-
// written line means, and that threads taking at once never get the same serial.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "ProgressBoard.h"
#include "Selection.h"
#include "SerialLedger.h"

namespace velnorcli {
namespace {

TEST(SerialLedger, TheListIsOneSerialALineAndRefusedWithTheLineThatCannotBeOne) {
    const struct {
        const char* text;
        std::vector<std::string> serials;
        const char* refusal;
    } kCases[] = {
        {"# tray 7\n1001\n\n  1002 \r\n1003", {"1001", "1002", "1003"}, ""},
        {"1001\n10 02\n", {"1001"}, "line 2: a serial number with a blank or a control character"},
        {"1234567890123456\n12345678901234567\n", {"1234567890123456"}, "line 2: a serial number longer than 16 characters"},
        {"# nothing\n\n", {}, "it holds no serial number"},
    };
    for (const auto& c : kCases) {
        const SerialList list = ParseSerialList(c.text);
        EXPECT_EQ(list.refusal, c.refusal) << c.text;
        EXPECT_EQ(list.serials, c.serials) << c.text;
    }
}

TEST(SerialLedger, TheLastWholeLineOfASerialDecidesWhetherItIsFree) {
    const std::string record =
        "1001\ttaking\t2026-12-07T10:00:00.000Z\thost:1\t1-2\n"
        "1001\ttaken\t2026-12-07T10:00:01.000Z\thost:1\t1-2\n"
        "1002\ttaking\t2026-12-07T10:00:00.000Z\thost:1\t1-3\n"   // outcome unknown: never free
        "1003\ttaking\t2026-12-07T10:00:00.000Z\thost:1\t1-4\n"
        "1003 returned resolved by hand\n"                         // a technician's line, blanks between
        "1004 lost in the mail\n"                                 // no state: not a record line
        "1005\ttaking\t2026-12-07T10";                             // torn by a crash: not counted
    const std::map<std::string, RecordEntry> parsed = ParseRecord(record);
    EXPECT_EQ(parsed.at("1001").state, SerialState::Taken);
    EXPECT_EQ(parsed.at("1002").writer, "host:1");
    EXPECT_EQ(parsed.at("1003").state, SerialState::Returned);
    EXPECT_EQ(parsed.count("1004") + parsed.count("1005"), 0u);
    EXPECT_EQ(FreeSerials({"1001", "1002", "1003", "1004", "1005", "1003"}, parsed),
              (std::vector<std::string>{"1003", "1004", "1005"}));
}

TEST(SerialLedger, ThreadsTakingAtOnceGetDistinctSerialsAndAReturnedOneIsTakenFirst) {
    const std::string folder = testing::TempDir() + "velnor-ledger-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string list = folder + "/serials.txt";
    std::ofstream(list) << "1\n2\n3\n4\n5\n6\n7\n8\n9\n";
    std::ofstream(list + ".taken") << "9\ttak";  // torn by a crash; ended before the next line is added
    SerialLedger ledger(list);
    ASSERT_EQ(ledger.Check(), "");
    std::vector<std::string> taken(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        threads.emplace_back([&, i] {
            std::string error;
            taken[i] = ledger.Take("keypad " + std::to_string(i), error).value_or(error);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::set<std::string>(taken.begin(), taken.end()).size(), 8u);
    std::string error;
    EXPECT_EQ(ledger.Take("one more", error).value_or(""), "9");
    EXPECT_EQ(ledger.Take("too many", error), std::nullopt);
    EXPECT_NE(error.find("every serial number of " + list + " is taken"), std::string::npos);

    EXPECT_EQ(ledger.Settle("4", SerialState::Returned, "keypad 3"), "");
    EXPECT_EQ(ledger.Settle("5", SerialState::Taken, "keypad 4"), "");
    // Only the keypad the record names holds serial 5: another keypad holding it gets a fresh one.
    EXPECT_TRUE(ledger.TakenBy("5", "keypad 4"));
    EXPECT_FALSE(ledger.TakenBy("5", "keypad 3"));
    EXPECT_FALSE(ledger.TakenBy("4", "keypad 3"));
    EXPECT_EQ(ledger.Free(error), std::vector<std::string>{"4"});
    EXPECT_EQ(ledger.Take("again", error).value_or(""), "4");
    // Every serial this process left taking is unknown once no velnor of this host works on it;
    // while this process runs, they are its own.
    EXPECT_TRUE(ledger.Unknown().empty());
    std::filesystem::remove_all(folder);
}

TEST(ProgressBoard, OneAlignedLinePerKeypadWithItsStepAndElapsedTime) {
    const auto start = ProgressBoard::Clock::now();
    // Named as messages name a keypad, escaped once.
    ProgressBoard board({"1-2.1", KeypadName({"kp\x1b", "", "", "", ""})}, start);
    board.Set(0, "writing buzzer");
    board.Finish(1, "updated", start + std::chrono::milliseconds(1500));
    board.Set(1, "ignored once finished");
    EXPECT_EQ(board.Lines(start + std::chrono::milliseconds(420)),
              (std::vector<std::string>{"1-2.1   writing buzzer  0.4 s", "kp\\x1b  updated         1.5 s"}));
}

}  // namespace
}  // namespace velnorcli
