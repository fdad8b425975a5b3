// The list of serials and the record of what became of each: what is free, what a torn or hand-
// written line means, that threads taking at once never get the same serial, and that a wait
// for the record's lock says whom it waits for and ends when stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "SerialLedger.h"
#include "support/TestSupport.h"

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
    const RecordStates parsed = ParseRecord(record);
    EXPECT_EQ(parsed, (RecordStates{{"1001", SerialState::Taken}, {"1002", SerialState::Taking}, {"1003", SerialState::Returned}}));
    EXPECT_EQ(FreeSerials({"1001", "1002", "1003", "1004", "1005", "1003"}, parsed),
              (std::vector<std::string>{"1003", "1004", "1005"}));
    EXPECT_EQ(FreeSerials({"1001", "1003", "1004", "1005"}, parsed, 2), (std::vector<std::string>{"1003", "1004"}));
}

TEST(SerialLedger, TheProcessHoldingTheRecordsLockIsFoundInProcLocks) {
    const std::string locks = "1: POSIX  ADVISORY  WRITE 700 fe:00:42 0 EOF\n"    // not a flock lock
                              "2: FLOCK  ADVISORY  WRITE 812 fe:00:42 0 EOF\n"
                              "2: -> FLOCK  ADVISORY  WRITE 813 fe:00:42 0 EOF\n"  // a waiter
                              "3: FLOCK  ADVISORY  WRITE 0 08:01:42 0 EOF\n";      // of a hidden PID namespace
    EXPECT_EQ(FlockHolder(locks, 0xfe, 0, 42), 812);
    EXPECT_EQ(FlockHolder(locks, 8, 1, 42), std::nullopt);
    EXPECT_EQ(FlockHolder(locks, 0xfe, 0, 43), std::nullopt);
}

TEST(SerialLedger, ThreadsTakingAtOnceGetDistinctSerialsAndAReturnedOneIsTakenFirst) {
    const std::string folder = testing::TempDir() + "velnor-ledger-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string list = folder + "/serials.txt";
    std::ofstream(list) << "1\n2\n3\n4\n5\n6\n7\n8\n9\n";
    std::ofstream(list + ".taken") << "9\ttak";  // torn by a crash; ended before the next line is added
    SerialLedger ledger(list);
    ASSERT_FALSE(ledger.Check());
    std::vector<std::string> taken(8);
    std::vector<std::thread> threads;
    const auto take = [&ledger](const std::string& keypad) {
        auto serial = ledger.Take(keypad);
        return serial.index() == 0 ? std::get<0>(serial) : std::get<1>(serial).message;
    };
    for (std::size_t i = 0; i < taken.size(); ++i) threads.emplace_back([&, i] { taken[i] = take("keypad " + std::to_string(i)); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::set<std::string>(taken.begin(), taken.end()).size(), 8u);
    EXPECT_EQ(take("one more"), "9");
    EXPECT_EQ(take("too many"), "every serial number of " + list + " is taken (or its outcome unknown)");

    EXPECT_EQ(ledger.Settle("4", SerialState::Returned, "keypad 3"), std::nullopt);
    EXPECT_EQ(ledger.Settle("5", SerialState::Taken, "keypad 4"), std::nullopt);
    // Only the keypad the record names holds serial 5: another keypad holding it gets a fresh one.
    EXPECT_TRUE(ledger.TakenBy("5", "keypad 4"));
    EXPECT_FALSE(ledger.TakenBy("5", "keypad 3"));
    EXPECT_FALSE(ledger.TakenBy("4", "keypad 3"));
    std::string error;
    EXPECT_EQ(ledger.Free(5, error), std::vector<std::string>{"4"});
    EXPECT_EQ(take("again"), "4");
    // Every serial this process left taking is unknown once no velnor of this host works on it;
    // while this process runs, they are its own.
    EXPECT_TRUE(ledger.Unknown().empty());
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::ofstream(list + ".taken", std::ios::app) << "7\ttaking\tT\t" << host << ":99999999\tkp\n3\ttaking\tT\t" << host
                                                  << ":99999999\tkp\n3\ttaken\tT\tother:1\tkp\n";
    EXPECT_EQ(ledger.Unknown(), std::vector<std::string>{"7"});

    // Another process holds the record's lock: a Take tells who after a second, and gives up
    // when stopped.
    const std::string record = list + ".taken";
    const pid_t holder = fork();
    if (holder == 0) {
        flock(open(record.c_str(), O_RDONLY), LOCK_EX);
        pause();
    }
    ASSERT_TRUE(velnortest::WaitUntil([&] {
        const int fd = open(record.c_str(), O_RDONLY);
        const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0;
        close(fd);
        return held;
    }));
    std::atomic<bool> stop{false};
    std::string told;
    auto waited = ledger.Take("kp", LedgerWait{&stop, [&](const std::string& who) {
                                                   told = who;
                                                   stop = true;
                                               }});
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(told, "process " + std::to_string(holder) + " (cli_tests)");
    ASSERT_EQ(waited.index(), 1u);
    EXPECT_EQ(std::get<Failure>(waited).status, kInterrupted);
    EXPECT_EQ(std::get<Failure>(waited).message, "interrupted while waiting for the lock of " + record + ", held by " + told);
    std::filesystem::remove_all(folder);
}

TEST(SerialLedger, ARecordOfManyReadsAndOver16MiBIsReadWhole) {
    const std::string list = testing::TempDir() + "velnor-long-" + std::to_string(getpid());
    std::ofstream serials(list);
    std::ofstream record(list + ".taken");
    for (int i = 100000; i < 400000; ++i) {
        serials << i << "\n";
        record << i << "\ttaken\t2026-12-07T10:00:00.000Z\tstation-7:" << i % 977 << "\t1-2." << i % 8 << "\n";
    }
    serials << "400000\n" << std::flush;
    record << std::flush;
    ASSERT_GT(std::filesystem::file_size(list + ".taken"), 16u << 20);
    auto taken = SerialLedger(list).Take("1-2.1");
    EXPECT_EQ(taken.index() == 0 ? std::get<0>(taken) : std::get<1>(taken).message, "400000");
    std::filesystem::remove(list);
    std::filesystem::remove(list + ".taken");
}

}  // namespace
}  // namespace velnorcli
