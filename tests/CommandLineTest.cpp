// The command-line scanner: counted flags, the texts it fills, and the lines it refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "CommandLine.h"
#include "support/TestSupport.h"

namespace {

// What the scanner makes of the words after the program's name (of all words when not named),
// in one line: the count it returns, then every part of the command line it set.
std::string Scan(std::vector<const char*> words, bool named = true) {
    if (named) words.insert(words.begin(), "VelnorUtility");
    velnorutility::CommandLine line;
    std::ostringstream out;
    std::string scanned = std::to_string(velnorutility::ParseCommandLine(static_cast<int>(words.size()), words.data(), line, out));
    scanned += std::string(line.restore ? " restore" : "") + (line.compare ? " compare" : "");
    const std::pair<const char*, std::string> parts[] = {{"first", line.firstFile}, {"second", line.secondFile},
        {"keys", line.keyCount}, {"serial", line.serial}, {"prints", out.str()}, {"refuses", line.refusal}};
    for (const auto& [name, text] : parts) scanned += text.empty() ? "" : std::string(" ") + name + " " + velnortest::Visible(text);
    return scanned;
}

TEST(CommandLineTest, CountsFlagsFillsTheirTextsAndRefusesMissingWordsAndWordsTooLong) {
    const std::string serial19(19, 'S');
    const std::string file99(99, 'f');
    const std::string file100(100, 'f');
    const struct {
        const char* name;
        std::vector<const char*> words;  // after the program's name
        std::string scanned;
    } cases[] = {
        {"nothing", {}, "0"},
        {"restore", {"-b", "backup.txt"}, "1 restore first backup.txt"},
        {"compare", {"-c", "old.txt", "new.txt"}, "1 compare first old.txt second new.txt"},
        {"key count with serial", {"-k", "6", "-n", "12345678"}, "1 keys 6 serial 12345678"},
        {"serial alone counts nothing", {"-n", "12345678"}, "0 serial 12345678"},
        {"two counted flags are returned as 0", {"-b", "f", "-k", "5"}, "0 restore first f keys 5"},
        {"the same flag twice", {"-k", "5", "-k", "6"}, "0 keys 6"},
        {"three counted flags", {"-b", "f", "-c", "a", "b", "-k", "5"}, "3 restore compare first a second b keys 5"},
        {"only the second character decides", {"-bogus", "f"}, "1 restore first f"},
        {"a file name after -b is looked at as a word", {"-b", "-k", "5"}, "0 restore first -k keys 5"},
        {"compare's names are looked at as words", {"-c", "-x", "b"},
         "255 compare first -x second b prints flag not recognised -x\\r\\n"},
        {"a lone unrecognised flag", {"-x"}, "255 prints flag not recognised -x\\r\\n"},
        {"a dash alone", {"-"}, "255 prints flag not recognised -\\r\\n"},
        {"counted flags after it add to 255", {"-q", "-k", "6"}, "256 keys 6 prints flag not recognised -q\\r\\n"},
        {"an unrecognised flag resets the count", {"-k", "6", "-z"}, "255 keys 6 prints flag not recognised -z\\r\\n"},
        {"words without a dash are passed over", {"x", "-k", "8", "y"}, "1 keys 8"},
        {"texts at their capacity", {"-k", "555", "-n", serial19.c_str(), "-b", file99.c_str()},
         "0 restore first " + file99 + " keys 555 serial " + serial19},
        {"-b alone", {"-b"}, "0 refuses -b needs the backup file name\\r\\n"},
        {"-k alone", {"-k"}, "0 refuses -k needs the number of keys\\r\\n"},
        {"-n alone", {"-n"}, "0 refuses -n needs the serial number\\r\\n"},
        {"-c and one name", {"-c", "one.txt"}, "0 refuses -c needs two file names\\r\\n"},
        {"-c alone", {"-c"}, "0 refuses -c needs two file names\\r\\n"},
        {"-n last after a counted flag", {"-k", "6", "-n"}, "1 keys 6 refuses -n needs the serial number\\r\\n"},
        {"a key count too long", {"-k", "5555"}, "0 refuses -k: argument longer than 3 characters\\r\\n"},
        {"a serial too long", {"-k", "6", "-n", "12345678901234567890"},
         "1 keys 6 refuses -n: argument longer than 19 characters\\r\\n"},
        {"a backup file name too long", {"-b", file100.c_str()}, "0 refuses -b: argument longer than 99 characters\\r\\n"},
        {"a second file name too long", {"-c", "a", file100.c_str()},
         "0 first a refuses -c: argument longer than 99 characters\\r\\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Scan(c.words), c.scanned) << c.name;
    EXPECT_EQ(Scan({"-k", "5"}, false), "1 keys 5") << "the program's own name is a word too";
}

}  // namespace
