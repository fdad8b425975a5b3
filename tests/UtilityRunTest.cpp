// VelnorUtility run as a process on the built library, against the simulated keypad: its whole
// standard output (golden files), exit status, the reports the keypad received and its settings.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/Hex.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

using velnortest::Padded;
using velnortest::ProgramResult;
using velnortest::ProgramRun;
using velnortest::ToHex;
using velnortest::Visible;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kGolden = std::string(VELNOR_TESTS_DIR) + "/golden/";
const std::string kExamples = VELNOR_EXAMPLES_DIR;

const std::string kKeypadV6 = "device path=keypad-1 manufacturer=Velnor product=Keypad\nset firmware V6.10\nset serial 00000000\n";
const std::string kKeypadV7 = "device path=keypad-1 manufacturer=Velnor product=Keypad\nset firmware V7.03\nset serial 00000000\n";

ProgramResult RunUtility(const ProgramRun& run, const std::vector<std::string>& arguments) {
    return run.Start(VELNOR_UTILITY, arguments, kExamples);
}

void ExpectGolden(const ProgramResult& result, const std::string& goldenName) {
    const std::string golden = velnortest::ReadGolden(kGolden + goldenName);
    EXPECT_TRUE(velnortest::MatchesGolden(result.output, golden))
        << "output:\n" << Visible(result.output) << "\nexpected (" << goldenName << "):\n" << Visible(golden);
}

// The frame of a command as the keypad must receive it, built here on its own.
Bytes Frame(int command, const Bytes& payload = {}) {
    const char* digits = "0123456789ABCDEF";
    Bytes frame{0x3F, 0x40, 0x02, static_cast<std::uint8_t>(digits[command >> 4]),
                static_cast<std::uint8_t>(digits[command & 15]), static_cast<std::uint8_t>(digits[payload.size() >> 4 & 15]),
                static_cast<std::uint8_t>(digits[payload.size() & 15])};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0x03);
    std::uint8_t checksum = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) checksum ^= frame[i];
    frame.push_back(checksum);
    return Padded(frame);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

void ExpectReports(const ProgramResult& result, const std::vector<Bytes>& expected) {
    ASSERT_EQ(result.reports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(ToHex(result.reports[i]), ToHex(expected[i])) << i;
}

const Bytes kCodes6 = velnortest::Hex("1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58 00 00 00 00");

std::vector<Bytes> RestoreFrames(const Bytes& codes, std::uint8_t table, std::uint8_t led, std::uint8_t buzzer,
                                 std::uint8_t period, std::uint8_t option, const std::string& serial) {
    return {Frame(4, {buzzer}),        Frame(6, {period}), Frame(7, {table}), Frame(2, {led}), Frame(11, {option}),
            Frame(14, Text(serial)), Frame(5, codes),    Frame(9),          Frame(10),        Frame(1)};
}

std::string Backup(const std::string& version, const std::string& serial, const std::string& table = "1") {
    return "Version No " + version + "\nSerial No " + serial +
           "\nVelnor has 6 keys\nKeycode values\n1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58\nKeypad Table " + table +
           "\nLed Brightness 7\nBuzzer 1\nBuzzer Period 32\n";
}

TEST(UtilityRunTest, RestoreProgramsResetsReconnectsAndReadsBack) {
    ProgramRun run(kKeypadV6);
    const ProgramResult result = RunUtility(run, {"-b", "backup-6-keys.txt"});
    EXPECT_EQ(result.exitStatus, 0);
    ExpectGolden(result, "restore-6-keys.txt");
    ExpectReports(result, RestoreFrames(kCodes6, 1, 7, 1, 0x32, 1, "20261206    "));
    for (const char* copy : {"ram.", "flash."}) {
        const std::string prefix = copy;
        EXPECT_EQ(result.state.at(prefix + "led_level"), "7");
        EXPECT_EQ(result.state.at(prefix + "buzzer"), "1");
        EXPECT_EQ(result.state.at(prefix + "buzzer_period"), "50");
        EXPECT_EQ(result.state.at(prefix + "keypad_table"), "1");
        EXPECT_EQ(result.state.at(prefix + "key_count_option"), "1");
        EXPECT_EQ(result.state.at(prefix + "code_table"), "1E 1F 20 21 22 23 24 25 26 27 28 2C 29 2A 2B 58 00 00 00 00");
        EXPECT_EQ(result.state.at(prefix + "serial"), "\"20261206    \"");
    }
}

TEST(UtilityRunTest, EachStepShowsOnAPipeWhenItIsDone) {
    ProgramRun run(kKeypadV6);
    const ProgramResult result = RunUtility(run, {"-b", "backup-6-keys.txt"});
    const long flashed = result.ArrivalOf(" Successful in write to flash\r\n");
    const long readBack = result.ArrivalOf(" Current No Of Keys 6\r\n");
    ASSERT_GE(flashed, 0);
    // The 3000 ms pause after the reset lies between the two: nothing waited in a buffer.
    EXPECT_GE(readBack - flashed, 3000) << Visible(result.output);
    EXPECT_GE(result.ArrivalOf("Velnor connected"), 0);
    EXPECT_LT(result.ArrivalOf("Velnor connected"), flashed);
}

TEST(UtilityRunTest, RestoreWithTheKeypadAbsent) {
    ProgramRun run("");
    const ProgramResult result = RunUtility(run, {"-b", "backup-5-keys.txt"});
    EXPECT_EQ(result.exitStatus, 1);
    ExpectGolden(result, "restore-keypad-absent.txt");
    EXPECT_TRUE(result.reports.empty());
}

TEST(UtilityRunTest, RestoreWhereTheKeypadDoesNotComeBackAfterTheReset) {
    ProgramRun run("device path=keypad-1 reset_absent_ms=60000\nset firmware V6.10\nset serial 00000000\n");
    const ProgramResult result = RunUtility(run, {"-b", "backup-6-keys.txt"});
    EXPECT_EQ(result.exitStatus, 1);
    ExpectGolden(result, "restore-keypad-gone.txt");
    std::vector<Bytes> frames = RestoreFrames(kCodes6, 1, 7, 1, 0x32, 1, "20261206    ");
    frames.pop_back();  // no status query: the connection could not be opened again
    ExpectReports(result, frames);
    EXPECT_EQ(result.state.at("flash.led_level"), "7") << "the flash write went through before";
}

TEST(UtilityRunTest, RestoreWithAKeypadTableTheLibraryRefuses) {
    ProgramRun run(kKeypadV6);
    const std::string backup = run.WriteFile("backup.txt", Backup("V6.12", "20261206", "3"));
    const ProgramResult result = run.Start(VELNOR_UTILITY, {"-b", backup}, "/tmp");
    EXPECT_EQ(result.exitStatus, 0) << "restore ends with 0 whatever its steps reported";
    EXPECT_NE(result.output.find("Velnor connected Successful in Buzzer  1\r\n Successful in Buzzer Period  50\r\n"
                                 "SetKeypadTable failed -9998 \r\n Successful in SetLedLevel  7\r\n"),
              std::string::npos)
        << Visible(result.output);
    std::vector<Bytes> frames = RestoreFrames(kCodes6, 3, 7, 1, 0x32, 1, "20261206    ");
    frames.erase(frames.begin() + 2);  // the keypad table is never sent
    ExpectReports(result, frames);
    EXPECT_EQ(result.state.at("ram.keypad_table"), "0");
}

TEST(UtilityRunTest, RestoreAppendsTheSerialSuffixOnlyForOldFirmwareAndEightCharacters) {
    const struct {
        const char* name;
        std::string version;
        std::string serial;
        std::string sent;
    } cases[] = {
        {"V7 firmware", "V7.01", "20261206", "20261206"},
        {"a 12-character serial", "V6.12", "202612061234", "202612061234"},
        {"a name too short to have a second character", "V", "20261206", "20261206    "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramRun run(kKeypadV6);
        const std::string backup = run.WriteFile("backup.txt", Backup(c.version, c.serial));
        const ProgramResult result = run.Start(VELNOR_UTILITY, {"-b", backup}, "/tmp");
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_NE(result.output.find(" Successful in setting serial number " + c.sent + "\r\n"), std::string::npos)
            << Visible(result.output);
        ASSERT_EQ(result.reports.size(), 10u);
        EXPECT_EQ(ToHex(result.reports[5]), ToHex(Frame(14, Text(c.sent))));
        EXPECT_EQ(result.state.at("flash.serial"), "\"" + c.sent + "\"");
    }
}

TEST(UtilityRunTest, KeyCountModeOnOldFirmwareAppendsTheSuffix) {
    ProgramRun run(kKeypadV6);
    const ProgramResult result = RunUtility(run, {"-k", "8", "-n", "12345678"});
    EXPECT_EQ(result.exitStatus, 0);
    ExpectGolden(result, "key-count-v6.txt");
    ExpectReports(result, {Frame(1), Frame(11, {2}), Frame(14, Text("12345678    ")), Frame(9), Frame(10)});
    EXPECT_EQ(result.state.at("flash.key_count_option"), "2");
    EXPECT_EQ(result.state.at("flash.serial"), "\"12345678    \"");
}

TEST(UtilityRunTest, KeyCountModeOnNewFirmwareNextToAnUnknownFlag) {
    ProgramRun run(kKeypadV7);
    const ProgramResult result = RunUtility(run, {"-x", "-k", "6", "-n", "12345678"});
    EXPECT_EQ(result.exitStatus, 0);
    ExpectGolden(result, "key-count-v7.txt");
    ExpectReports(result, {Frame(1), Frame(11, {1}), Frame(14, Text("12345678")), Frame(9), Frame(10)});
}

TEST(UtilityRunTest, KeyCountModeWithoutSerialKeepsTheKeypadsSerial) {
    ProgramRun run(kKeypadV6);
    const ProgramResult result = RunUtility(run, {"-k", "5"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.output.find(" Successful in setting number of keys 5\r\n"
                                 " No serial number given, serial number left as it is\r\n"
                                 " Successful in write to flash\r\n"),
              std::string::npos)
        << Visible(result.output);
    ExpectReports(result, {Frame(1), Frame(11, {0}), Frame(9), Frame(10)});
    EXPECT_EQ(result.state.at("flash.serial"), "\"00000000\"");
}

TEST(UtilityRunTest, KeyCountModeExitsWithWhatTheResetReturned) {
    ProgramRun run(kKeypadV6 + "fault 10 noreply\n");
    const ProgramResult result = RunUtility(run, {"-k", "6", "-n", "AB"});
    EXPECT_EQ(result.exitStatus, 253) << "-3 from ResetToFactoryDefault";
    EXPECT_EQ(result.output.substr(result.output.size() - 31), " Successful in write to flash\r\n");
}

TEST(UtilityRunTest, KeyCountModeWhoseStatusQueryFailsAddsNoSuffix) {
    ProgramRun run(kKeypadV6 + "fault 1 noreply\n");
    const ProgramResult result = RunUtility(run, {"-k", "6", "-n", "12345678"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.output.find("GetDeviceStatus failed -3 \r\n Successful in setting number of keys 6\r\n"
                                 " Successful in setting serial number of keys 12345678\r\n"),
              std::string::npos)
        << Visible(result.output);
}

TEST(UtilityRunTest, KeyCountModeWithTheKeypadAbsent) {
    ProgramRun run("");
    const ProgramResult result = RunUtility(run, {"-k", "6", "-n", "12345678"});
    EXPECT_EQ(result.exitStatus, 1);
    ExpectGolden(result, "key-count-keypad-absent.txt");
}

struct CommandLineCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string output;
    int exitStatus;
};

TEST(UtilityRunTest, CommandLinesThatEndTheRunEarly) {
    const std::vector<CommandLineCase> cases = {
        {"no words", {}, "", 1},
        {"two counted flags", {"-b", "backup-6-keys.txt", "-k", "5"}, "", 1},
        {"the same flag twice", {"-k", "5", "-k", "6"}, "", 1},
        {"a serial number alone", {"-n", "12345678"}, "", 1},
        {"seven keys", {"-k", "7"}, "Incorrect number of keys specified\r\n", 1},
        {"a lone unrecognised flag", {"-x"}, "flag not recognised -x\r\nIncorrect number of keys specified\r\n", 1},
        {"-b without a file", {"-b"}, "-b needs the backup file name\r\n", 1},
        {"-k without keys", {"-n", "1", "-k"}, "-k needs the number of keys\r\n", 1},
        {"-c with one file", {"-c", "compare-after-upgrade.txt"}, "-c needs two file names\r\n", 1},
        {"a serial too long", {"-k", "6", "-n", "12345678901234567890"}, "-n: argument longer than 19 characters\r\n", 1},
        {"a file name too long", {"-b", std::string(100, 'f')}, "-b: argument longer than 99 characters\r\n", 1},
        {"a backup file that cannot be opened", {"-b", "no-such-file.txt"}, "Cannot open backup file\r\n", 1},
        {"compare with a file that cannot be opened", {"-c", "no-such-file.txt", "backup-6-keys.txt"},
         "Unable to open file", 1},
    };
    ProgramRun run("");
    for (const CommandLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramResult result = RunUtility(run, c.arguments);
        EXPECT_EQ(Visible(result.output), Visible(c.output));
        EXPECT_EQ(result.exitStatus, c.exitStatus);
    }
}

TEST(UtilityRunTest, AnIncompleteBackupFileEndsWithStatusTwoBeforeAnyKeypadWork) {
    ProgramRun run(kKeypadV6);
    std::string backup = Backup("V6.12", "20261206");
    backup = backup.substr(backup.find('\n') + 1);  // without its Version line
    const ProgramResult result = run.Start(VELNOR_UTILITY, {"-b", run.WriteFile("backup.txt", backup)}, "/tmp");
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(Visible(result.output),
              Visible("Serial No 20261206\nVelnor has 6keys \nKeycode Values 1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a "
                      "2b 58 \nKeypad Table 1\nLed Brightness 7\nBuzzer  1\nBuzzer Period 32\n"
                      "Failed to retrieve all config data from Backup file\r\n"));
    EXPECT_TRUE(result.reports.empty());
}

TEST(UtilityRunTest, CompareTheExamplePairs) {
    ProgramRun run("");
    const ProgramResult passed = RunUtility(run, {"-c", "compare-before-upgrade.txt", "compare-after-upgrade.txt"});
    EXPECT_EQ(passed.exitStatus, 0);
    ExpectGolden(passed, "compare-passed.txt");
    const ProgramResult failed = RunUtility(run, {"-c", "compare-before-upgrade.txt", "compare-after-failed-upgrade.txt"});
    EXPECT_EQ(failed.exitStatus, 1);
    ExpectGolden(failed, "compare-failed.txt");
}

}  // namespace
