// Compare mode on streams: the seven compared kinds, pairing by position, and the verdict.
// (The lines printed for each kind show in the golden outputs of the example pairs.)
#include <gtest/gtest.h>

#include <sstream>

#include "Compare.h"
#include "support/TestSupport.h"

using velnorutility::CompareBackupFiles;
using velnorutility::LinesMatch;

namespace {

const char* kPassed = "=====   PASSED - KEYPAD HAS BEEN UPGRADED   =====\n";
const char* kFailed = "=====  FAILED - KEYPAD HAS NOT BEEN UPGRADED ====\n";

// One line of each of the seven compared kinds, among lines that are never compared.
const std::string kSeven =
    "Version No V6.12\nSerial No 12345678\nVelnor has 6 keys\nKeycode values\n1e 1f\n 0  1e\n 1  1f\n"
    "Keypad Table 1\nLed Brightness 5\nBuzzer 1\nBuzzer Period 64\n";

// The verdict, and what was printed.
std::pair<int, std::string> Compare(const std::string& first, const std::string& second) {
    std::istringstream a(first);
    std::istringstream b(second);
    std::ostringstream out;
    const int result = CompareBackupFiles(a, b, out);
    return {result, out.str()};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(CompareTest, Verdicts) {
    const struct {
        const char* name;
        std::string first;
        std::string second;
        int result;
    } cases[] = {
        {"a new version alone still passes", kSeven, Replace(kSeven, "V6.12", "V7.03"), 0},
        {"one compared line differs", kSeven, Replace(kSeven, "Led Brightness 5", "Led Brightness 6"), 1},
        {"Buzzer twice makes eight matches", kSeven + "Buzzer 1\n", kSeven + "Buzzer 1\n", 1},
        {"lines moved do not match", kSeven, Replace(Replace(kSeven, "Buzzer 1\n", ""), "Keypad Table 1\n",
                                                     "Keypad Table 1\nBuzzer 1\n"), 1},
        {"the second file ends first", kSeven + "Buzzer 1\n", kSeven, 0},
        {"the first file ends first", kSeven, kSeven + "Buzzer 1\n", 0},
        {"the first file is empty", "", kSeven, 1},
        {"the second file is empty", kSeven, "", 1},
        {"carriage returns are not part of a line", kSeven, Replace(kSeven, "Buzzer 1\n", "Buzzer 1\r\n"), 0},
    };
    for (const auto& c : cases) {
        const auto [result, output] = Compare(c.first, c.second);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_TRUE(output.ends_with(c.result == 0 ? kPassed : kFailed)) << c.name << ": " << output;
    }
    EXPECT_EQ(Compare("", kSeven).second, kFailed);
}

TEST(CompareTest, EachKindMatchesByItsOwnRule) {
    const std::string serial22 = "Serial No 123456789012";  // 22 characters
    const struct {
        const char* first;
        std::string second;
        bool match;
        const char* output;
    } cases[] = {
        {"Buzzer Period 64", "Buzzer Period 64", true, "matched "},
        {"Buzzer Period 64", "Buzzer Period 65", false, "matched "},
        {"Buzzer 1", "Buzzer 1", true, ""},
        {"Buzzer 1", "Buzzer 1 ", false, ""},
        {"Led Brightness 5", "Led Brightness 5", true, ""},
        {"Velnor has 6 keys", "Velnor has 6 keys", true, ""},
        {"Keypad Table 1", "Keypad Table 2", false, ""},
        {" 0  1e", " 0  1e", true, ""},
        {" 0 1e", " 0 1e", false, ""},
        {"Version No V6", "Version No V6", false, ""},
        {"Keycode values", "Keycode values", false, ""},
        {"anything else", "anything else", false, ""},
        {"Serial No 123456789012", serial22 + "    ", true, ""},
        {"Serial No 123456789012ABC", serial22 + "XYZ", true, ""},
        {"Serial No 12345678", "Serial No 12345678", true, ""},
        {"Serial No 12345678", "Serial No 12345678    ", false, ""},
        {"Serial No 12345678    ", "Serial No 12345678", false, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        EXPECT_EQ(LinesMatch(c.first, c.second, out), c.match) << c.first << " / " << c.second;
        EXPECT_EQ(out.str(), c.output) << c.first;
    }
    std::ostringstream out;
    EXPECT_FALSE(LinesMatch("Buzzer 1", "Buzzer Period 1", out)) << "the second line is never classified";
}

}  // namespace
