// VelnorUtility run as a process on the built library, against the simulated keypad: its whole
// standard output (golden files), exit status, the reports the keypad received and its settings.
#include <gtest/gtest.h>

#include "support/BackupFileText.h"
#include "support/Golden.h"
#include "support/SimFolder.h"
#include "support/TestSupport.h"

using namespace velnortest;

namespace {

const std::string kKeypadV6 = "device path=keypad-1 manufacturer=Velnor product=Keypad\nset firmware V6.10\nset serial 00000000\n";
const std::string kKeypadV7 = "device path=keypad-1 manufacturer=Velnor product=Keypad\nset firmware V7.03\nset serial 00000000\n";
const Bytes kCodes6 = Hex("1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58 00 00 00 00");

// What a restore sends: the settings, flash, reset, and the status query after reopening.
std::vector<Bytes> RestoreReports(std::uint8_t table, const std::string& serial) {
    return {CommandReport(4, {1}),     CommandReport(6, {0x32}),    CommandReport(7, {table}), CommandReport(2, {7}),
            CommandReport(11, {1}),    CommandReport(14, Ascii(serial)), CommandReport(5, kCodes6), CommandReport(9),
            CommandReport(10),         CommandReport(1)};
}

// VelnorUtility in the examples folder. A word "<NAME" is /dev/stdin, a pipe that carries the
// example file NAME.
Result Utility(const SimFolder& sim, std::vector<std::string> arguments) {
    Launch launch;
    for (std::string& word : arguments) {
        if (!word.starts_with("<")) continue;
        launch.input = [text = ReadFile(std::string(VELNOR_EXAMPLES_DIR) + "/" + word.substr(1))](int pipe) { WriteAll(pipe, text); };
        word = "/dev/stdin";
    }
    return sim.Utility(arguments, launch);
}

std::string Shown(const std::vector<Bytes>& reports) {
    std::string text;
    for (const Bytes& report : reports) text += ToHex(report) + "\n";
    return text;
}

std::vector<Bytes> Without(std::vector<Bytes> reports, std::size_t index) {
    reports.erase(reports.begin() + static_cast<std::ptrdiff_t>(index));
    return reports;
}

// What the output must be: a golden file, exactly a text, or hold a text (at its end).
struct Expected {
    enum { Golden, Exactly, Holds, Ends } how;
    std::string text;
};

void ExpectOutput(const std::string& output, const Expected& expected) {
    switch (expected.how) {
    case Expected::Golden:
        EXPECT_TRUE(MatchesGolden(output, ReadGolden(expected.text)))
            << "output:\n" << Visible(output) << "\nexpected as in " << expected.text;
        break;
    case Expected::Exactly: EXPECT_EQ(Visible(output), Visible(expected.text)); break;
    case Expected::Holds: EXPECT_NE(output.find(expected.text), std::string::npos) << Visible(output); break;
    case Expected::Ends: EXPECT_TRUE(output.ends_with(expected.text)) << Visible(output); break;
    }
}

TEST(UtilityRunTest, RestoreProgramsResetsReconnectsAndReadsBackShowingEachStepWhenDone) {
    SimFolder sim(kKeypadV6);
    const Result result = Utility(sim, {"-b", "<backup-6-keys.txt"});  // a pipe is read like a file
    EXPECT_EQ(result.status, 0);
    ExpectOutput(result.out, {Expected::Golden, "restore-6-keys.txt"});
    EXPECT_EQ(Shown(sim.Reports()), Shown(RestoreReports(1, "20261206    ")));
    // On a pipe each step shows when it is done: the lines up to the flash arrive before the
    // keypad is opened again after the 3-second pause, not together with later lines.
    const auto flashed = result.ArrivalOf(" Successful in write to flash\r\n");
    ASSERT_GE(flashed.first, 0);
    EXPECT_LE(flashed.second, result.out.find("vid 8263 pid 2495", result.out.find(" Successful in write to flash")))
        << Visible(result.out);
}

struct RunCase {
    const char* name;
    std::string keypad;                  // the simulator's configuration; "" for no keypad
    std::vector<std::string> arguments;  // "BACKUP" names a file holding `backup`
    int exitStatus;
    Expected output;
    std::vector<Bytes> reports = {};  // everything the keypad received, which decides its settings
    std::string backup = {};
};

void ExpectRun(const RunCase& c) {
    SCOPED_TRACE(c.name);
    SimFolder sim(c.keypad);
    std::vector<std::string> arguments = c.arguments;
    for (std::string& word : arguments) word = word == "BACKUP" ? sim.Write("backup.txt", c.backup) : word;
    const Result result = Utility(sim, arguments);
    EXPECT_EQ(result.status, c.exitStatus);
    ExpectOutput(result.out, c.output);
    EXPECT_EQ(Shown(sim.Reports()), Shown(c.reports));
}

TEST(UtilityRunTest, Restores) {
    const RunCase cases[] = {
        {"restore with the keypad absent", "", {"-b", "backup-5-keys.txt"}, 1, {Expected::Golden, "restore-keypad-absent.txt"}},
        {"restore where the keypad does not come back after the reset",
         "device path=keypad-1 reset_absent_ms=60000\nset firmware V6.10\nset serial 00000000\n", {"-b", "backup-6-keys.txt"},
         1, {Expected::Golden, "restore-keypad-gone.txt"}, Without(RestoreReports(1, "20261206    "), 9)},
        {"restore with a keypad table the library refuses: status 0 whatever the steps reported", kKeypadV6,
         {"-b", "BACKUP"}, 0,
         {Expected::Holds, "Velnor connected Successful in Buzzer  1\r\n Successful in Buzzer Period  50\r\n"
                           "SetKeypadTable failed -9998 \r\n Successful in SetLedLevel  7\r\n"},
         Without(RestoreReports(3, "20261206    "), 2), BackupFileText("V6.12", "20261206", 6, kCodeTable6, 3)},
        {"restore on V7 firmware adds no serial suffix", kKeypadV6, {"-b", "BACKUP"}, 0,
         {Expected::Holds, " Successful in setting serial number 20261206\r\n"}, RestoreReports(1, "20261206"),
         BackupFileText("V7.01", "20261206")},
        {"restore with a version too short for a second character adds the suffix", kKeypadV6, {"-b", "BACKUP"}, 0,
         {Expected::Holds, " Successful in setting serial number 20261206    \r\n"}, RestoreReports(1, "20261206    "),
         BackupFileText("V", "20261206")},
        {"a backup file without its Version line ends with status 2 before any keypad work", kKeypadV6,
         {"-b", "BACKUP"}, 2,
         {Expected::Exactly, "Serial No 20261206\nVelnor has 6keys \nKeycode Values 1e 1f 20 21 22 23 24 25 26 27 28 2c "
                             "29 2a 2b 58 \nKeypad Table 1\nLed Brightness 7\nBuzzer  1\nBuzzer Period 32\n"
                             "Failed to retrieve all config data from Backup file\r\n"},
         {}, BackupFileText("V6.12", "20261206").erase(30, 17)},
    };
    for (const auto& c : cases) ExpectRun(c);
}

TEST(UtilityRunTest, KeyCounts) {
    const RunCase cases[] = {
        {"key-count mode on old firmware appends the suffix", kKeypadV6, {"-k", "8", "-n", "12345678"}, 0,
         {Expected::Golden, "key-count-v6.txt"},
         {CommandReport(1), CommandReport(11, {2}), CommandReport(14, Ascii("12345678    ")), CommandReport(9), CommandReport(10)},},
        {"key-count mode on new firmware next to an unknown flag", kKeypadV7, {"-x", "-k", "6", "-n", "12345678"}, 0,
         {Expected::Golden, "key-count-v7.txt"},
         {CommandReport(1), CommandReport(11, {1}), CommandReport(14, Ascii("12345678")), CommandReport(9), CommandReport(10)}},
        {"key-count mode without a serial keeps the keypad's", kKeypadV6, {"-k", "5"}, 0,
         {Expected::Holds, " Successful in setting number of keys 5\r\n No serial number given, serial number left as it "
                           "is\r\n Successful in write to flash\r\n"},
         {CommandReport(1), CommandReport(11, {0}), CommandReport(9), CommandReport(10)},},
        {"key-count mode exits with what the reset returned (-3)", kKeypadV6 + "fault 10 noreply\n",
         {"-k", "6", "-n", "AB"}, 253, {Expected::Ends, " Successful in write to flash\r\n"},
         {CommandReport(1), CommandReport(11, {1}), CommandReport(14, Ascii("AB")), CommandReport(9), CommandReport(10)}},
        {"key-count mode whose status query fails adds no suffix", kKeypadV6 + "fault 1 noreply\n",
         {"-k", "6", "-n", "12345678"}, 0,
         {Expected::Holds, "GetDeviceStatus failed -3 \r\n Successful in setting number of keys 6\r\n"
                           " Successful in setting serial number of keys 12345678\r\n"},
         {CommandReport(1), CommandReport(11, {1}), CommandReport(14, Ascii("12345678")), CommandReport(9), CommandReport(10)}},
        {"key-count mode with the keypad absent", "", {"-k", "6", "-n", "12345678"}, 1,
         {Expected::Golden, "key-count-keypad-absent.txt"}},
    };
    for (const auto& c : cases) ExpectRun(c);
}

TEST(UtilityRunTest, ComparesAndRunsThatEndEarly) {
    const RunCase cases[] = {
        {"compare passed, the first file through a pipe", "", {"-c", "<compare-before-upgrade.txt", "compare-after-upgrade.txt"}, 0,
         {Expected::Golden, "compare-passed.txt"}},
        {"compare failed", "", {"-c", "compare-before-upgrade.txt", "compare-after-failed-upgrade.txt"}, 1,
         {Expected::Golden, "compare-failed.txt"}},
        // Command lines that end the run early (what the scanner makes of each word, a count of
        // two included, shows in its own tests; a refusal and an unrecognised flag printed, and
        // files that cannot be opened, in the hostile runs).
        {"no words", kKeypadV6, {}, 1, {Expected::Exactly, ""}},
        {"seven keys", kKeypadV6, {"-k", "7"}, 1, {Expected::Exactly, "Incorrect number of keys specified\r\n"}},
    };
    for (const auto& c : cases) ExpectRun(c);
}

}  // namespace
