// The serial record's rules on tables of events (what is free, who holds a serial, which
// outcome is unknown, the counts), the list's and the record's lines, and what the files add: a
// record of any length is read whole. Which keypad gets which serial, threads taking at once and
// the rest of the ledger's rules, for the list file and the database alike: tests/postgres.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "SerialLedger.h"
#include "serials/LockHolder.h"
#include "support/TestSupport.h"

namespace velnorcli {
namespace {

using Serials = std::vector<std::string>;

TEST(SerialRules, TheListIsOneSerialALineAndRefusedWithTheLineThatCannotBeOne) {
    // The text, and its serials or else the refusal.
    const std::pair<const char*, Serials> kCases[] = {
        {"# tray 7\n1001\n\n  1002 \r\n1003", {"1001", "1002", "1003"}},
        {"1001\n10 02\n", {"line 2: a serial number with a blank or a control character"}},
        {"1234567890123456\n12345678901234567\n", {"line 2: a serial number longer than 16 characters"}},
        {"# nothing\n\n", {"it holds no serial number"}},
    };
    for (const auto& [text, expected] : kCases) {
        const Result<Serials> list = ParseSerialList(text);
        EXPECT_EQ(list ? *list : Serials{list.failure().message}, expected) << text;
    }
}

TEST(SerialRules, TheLastWholeLineOfASerialDecidesWhetherItIsFreeWhoHoldsItAndWhetherItIsUnknown) {
    const std::string record =
        "1001\ttaking\tT\there:1\t1-2\n1001\ttaken\tT\there:1\t1-2\n"
        "1002\ttaking\tT\there:2\t1-3\n"                       // its velnor is gone: unknown
        "1003\ttaking\tT\there:1\t1-4\n1003 returned by hand\n"  // typed by hand: free again
        "1004\ttaking\tT\tthere:2\t1-5\n"                      // another host's velnor may be at work
        "1007\ttaking\tT\there:1\t1-6\n999\ttaking\tT\there:4\t1-6\n"
        "1006 taken T - 1-7\n1006 taken T - 1-8 hub \n"           // resolved by hand, then moved
        "1008 lost in the mail\n"                                // no state: not an event
        "1005\ttaking\tT\t";                                     // torn by a crash: not an event
    LastStates states;
    Unsettled unsettled;
    std::vector<SerialEvent> events;
    ForEachLine(record, [&](std::string_view line, std::size_t, LineEnd end) {
        if (const std::optional<SerialEvent> event = ParseEvent(line, end)) {
            events.push_back(*event);
            states.Add(*event);
            unsettled.Add(*event);
        }
    });
    EXPECT_EQ(states.Free({"1001", "1002", "1003", "1004", "1005", "1003", "1006", "1007", "1008"}), (Serials{"1003", "1005", "1008"}));
    EXPECT_EQ(states.Free({"1003", "1005"}, 1), Serials{"1003"});
    const std::vector<PendingSerial> unknown = unsettled.Unknown("here", [](long pid) { return pid == 1; });
    EXPECT_EQ(unknown, (std::vector<PendingSerial>{{"999", "T", "here:4", "1-6"}, {"1002", "T", "here:2", "1-3"}}));
    // Listed twice, counted once; 999 is unknown though no longer listed.
    const SerialCounts counts = CountSerials({"1001", "1002", "1003", "1004", "1005", "1006", "1007", "1001"}, states, unknown);
    EXPECT_EQ(std::tie(counts.free, counts.returned, counts.taken, counts.taking, counts.unknown),
              std::make_tuple(1u, 1u, 2u, 2u, 2u));
    // A serial, a keypad, and whether the record gives it to that keypad.
    const std::tuple<const char*, const char*, bool> kHolders[] = {
        {"1001", "1-2", true}, {"1001", "1-3", false}, {"1003", "1-4", false},
        {"1002", "1-3", false}, {"1006", "1-7", false}, {"1006", "1-8 hub", true}};
    for (const auto& [serial, keypad, holds] : kHolders) EXPECT_EQ(states.TakenBy(serial, keypad), holds) << serial << " " << keypad;
    EXPECT_EQ(EventLine({"1001", SerialState::Taking, "T", "h:1", "kp\n\x1b"}), "1001\ttaking\tT\th:1\tkp  \n");
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

TEST(SerialLedger, ARecordOfManyReadsAndOver16MiBIsReadWhole) {
    const velnortest::TempFolder folder;
    const std::string list = folder.Path("serials.txt");
    std::ofstream serials(list);
    std::ofstream record(list + ".taken");
    for (int i = 100000; i < 400000; ++i) {
        serials << i << "\n";
        record << i << "\ttaken\t2026-12-07T10:00:00.000Z\tstation-7:" << i % 977 << "\t1-2." << i % 8 << "\n";
    }
    serials << "400000\n" << std::flush;
    record << std::flush;
    ASSERT_GT(std::filesystem::file_size(list + ".taken"), 16u << 20);
    const Result<std::string> taken = FileLedger(list).Take("1-2.1");
    EXPECT_EQ(taken ? *taken : taken.failure().message, "400000");
}

}  // namespace
}  // namespace velnorcli
