// The command-line scanner: counted flags, the texts it fills, and the lines it refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "CommandLine.h"
#include "support/TestSupport.h"

using velnorutility::CommandLine;
using velnorutility::ParseCommandLine;

namespace {

struct ScanCase {
    const char* name;
    std::vector<const char*> words;  // after the program's name
    int result;
    std::string output;
    bool restore = false;
    bool compare = false;
    std::string firstFile = "";
    std::string secondFile = "";
    std::string keyCount = "";
    std::string serial = "";
    std::string refusal = "";
};

struct Scanned {
    int result;
    std::string output;
    CommandLine line;
};

// The words after the program's name, or with none before them.
Scanned Scan(const std::vector<const char*>& words, bool named = true) {
    std::vector<const char*> argv;
    if (named) argv.push_back("VelnorUtility");
    argv.insert(argv.end(), words.begin(), words.end());
    Scanned scanned;
    std::ostringstream out;
    scanned.result = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), scanned.line, out);
    scanned.output = out.str();
    return scanned;
}

TEST(CommandLineTest, CountsFlagsAndFillsTheirTexts) {
    const std::string serial19(19, 'S');
    const std::string file99(99, 'f');
    const std::vector<ScanCase> cases = {
        {"nothing", {}, 0, ""},
        {"restore", {"-b", "backup.txt"}, 1, "", true, false, "backup.txt"},
        {"compare", {"-c", "old.txt", "new.txt"}, 1, "", false, true, "old.txt", "new.txt"},
        {"key count with serial", {"-k", "6", "-n", "12345678"}, 1, "", false, false, "", "", "6", "12345678"},
        {"serial alone counts nothing", {"-n", "12345678"}, 0, "", false, false, "", "", "", "12345678"},
        {"two counted flags are returned as 0", {"-b", "f", "-k", "5"}, 0, "", true, false, "f", "", "5"},
        {"the same flag twice", {"-k", "5", "-k", "6"}, 0, "", false, false, "", "", "6"},
        {"three counted flags", {"-b", "f", "-c", "a", "b", "-k", "5"}, 3, "", true, true, "a", "b", "5"},
        {"only the second character decides", {"-bogus", "f"}, 1, "", true, false, "f"},
        {"a file name after -b is looked at as a word", {"-b", "-k", "5"}, 0, "", true, false, "-k", "", "5"},
        {"compare's names are looked at as words", {"-c", "-x", "b"}, 255, "flag not recognised -x\r\n", false, true,
         "-x", "b"},
        {"a lone unrecognised flag", {"-x"}, 255, "flag not recognised -x\r\n"},
        {"a dash alone", {"-"}, 255, "flag not recognised -\r\n"},
        {"counted flags after it add to 255", {"-q", "-k", "6"}, 256, "flag not recognised -q\r\n", false, false, "", "",
         "6"},
        {"an unrecognised flag resets the count", {"-k", "6", "-z"}, 255, "flag not recognised -z\r\n", false, false,
         "", "", "6"},
        {"words without a dash are passed over", {"x", "-k", "8", "y"}, 1, "", false, false, "", "", "8"},
        {"texts at their capacity", {"-k", "555", "-n", serial19.c_str(), "-b", file99.c_str()}, 0, "", true, false,
         file99, "", "555", serial19},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Scanned scanned = Scan(c.words);
        const CommandLine& line = scanned.line;
        EXPECT_EQ(scanned.result, c.result);
        EXPECT_EQ(velnortest::Visible(scanned.output), velnortest::Visible(c.output));
        EXPECT_EQ(line.refusal, "");
        EXPECT_EQ(line.restore, c.restore);
        EXPECT_EQ(line.compare, c.compare);
        EXPECT_EQ(line.firstFile, c.firstFile);
        EXPECT_EQ(line.secondFile, c.secondFile);
        EXPECT_EQ(line.keyCount, c.keyCount);
        EXPECT_EQ(line.serial, c.serial);
    }
}

TEST(CommandLineTest, TheProgramsOwnNameIsAWordToo) {
    const Scanned scanned = Scan({"-k", "5"}, false);
    EXPECT_EQ(scanned.result, 1);
    EXPECT_EQ(scanned.line.keyCount, "5");
}

TEST(CommandLineTest, RefusesMissingWordsAndWordsTooLong) {
    const std::string longSerial(20, '1');
    const std::string longFile(100, 'f');
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"-b"}, "-b needs the backup file name\r\n"},
        {{"-k"}, "-k needs the number of keys\r\n"},
        {{"-n"}, "-n needs the serial number\r\n"},
        {{"-c", "one.txt"}, "-c needs two file names\r\n"},
        {{"-c"}, "-c needs two file names\r\n"},
        {{"-k", "6", "-n"}, "-n needs the serial number\r\n"},
        {{"-k", "5555"}, "-k: argument longer than 3 characters\r\n"},
        {{"-k", "6", "-n", longSerial.c_str()}, "-n: argument longer than 19 characters\r\n"},
        {{"-b", longFile.c_str()}, "-b: argument longer than 99 characters\r\n"},
        {{"-c", "a", longFile.c_str()}, "-c: argument longer than 99 characters\r\n"},
    };
    for (const auto& [words, refusal] : cases) {
        EXPECT_EQ(velnortest::Visible(Scan(words).line.refusal), velnortest::Visible(refusal));
    }
}

}  // namespace
