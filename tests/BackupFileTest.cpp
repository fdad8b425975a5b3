// Reading backup files: classification, hexadecimal values, the record, echoes and the count.
// (A whole file read into the record, and its echo, show in the utility's restore runs.)
#include <gtest/gtest.h>

#include <sstream>

#include "BackupFile.h"
#include "support/Hex.h"
#include "support/TestSupport.h"

using velnorbackup::ParseHexValues;

namespace {

const std::string kTable16 = "Keycode values\n 1e 1f 20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d\n";
const std::string kComplete = "Version No V6.12\nSerial No 12345678\nVelnor has 6 keys\n" + kTable16 +
                              "Keypad Table 1\nLed Brightness 5\nBuzzer 1\nBuzzer Period 64\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

struct Read {
    int result;
    std::string echo;
    std::string fields;  // the record's fields that are not as a fresh record has them
};

Read ReadText(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream echo;
    DEVICE_INFO info;
    const int result = velnorbackup::ReadBackupFile(in, info, echo);
    std::string fields;
    const auto add = [&fields](const char* name, const std::string& value) {
        if (!value.empty() && value != "00") fields += (fields.empty() ? "" : ", ") + std::string(name) + " " + value;
    };
    const std::pair<const char*, std::uint8_t> bytes[] = {{"led", info.LedLevel}, {"buzzer", info.BuzzerSetting},
        {"period", info.BuzzerPeriod}, {"table", info.KeypadTable}, {"option", info.KeyCountOption}};
    for (const auto& [name, value] : bytes) add(name, velnortest::ToHex({value}));
    const auto end = std::find_if(info.CodeTable.rbegin(), info.CodeTable.rend(), [](std::uint8_t b) { return b != 0; }).base();
    add("codes", velnortest::ToHex(velnortest::Bytes(info.CodeTable.begin(), end)));
    add("firmware", info.FirmwareName);
    add("serial", info.SerialNumber);
    return {result, echo.str(), fields};
}

TEST(BackupFileTest, CarriageReturnsAndAMissingLastLineEndChangeNothing) {
    const Read complete = ReadText(kComplete);
    EXPECT_EQ(complete.fields, "led 05, buzzer 01, period 64, table 01, option 01, "
                               "codes 1E 1F 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D, firmware V6.12, serial 12345678");
    std::string crlf;
    for (char c : kComplete) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {crlf, kComplete.substr(0, kComplete.size() - 1)}) {
        const Read read = ReadText(text);
        EXPECT_EQ(read.result, 0);
        EXPECT_EQ(read.echo, complete.echo);
        EXPECT_EQ(read.fields, complete.fields);
    }
}

TEST(BackupFileTest, TheCountIsOfAcceptedLines) {
    const std::string noVersion = Replace(kComplete, "Version No V6.12\n", "");
    const struct {
        const char* name;
        std::string text;
        int result;
    } cases[] = {
        {"empty file", "", 1},
        {"without its Version line", noVersion, 1},
        {"Buzzer twice and no Version", Replace(noVersion, "Buzzer 1\n", "Buzzer 1\nBuzzer 2\n"), 0},
        {"a repeated line on a complete file", kComplete + "Led Brightness 5\n", 1},
        {"unknown lines are ignored", "# backup\n\n  Buzzer 1\nbuzzer 1\n" + kComplete + "Keycode Values\n", 0},
        {"a table of the wrong count is not counted", Replace(kComplete, kTable16, "Keycode values\n1 2 3\n"), 1},
        {"a header as the last line", Replace(kComplete, kTable16, "") + "Keycode values\n", 1},
        {"a single-value line with two values", Replace(kComplete, "Buzzer Period 64", "Buzzer Period 64 ab"), 1},
        {"a value with a 0x prefix", Replace(kComplete, "Buzzer Period 64", "Buzzer Period 0x64"), 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadText(c.text).result, c.result) << c.name;
}

TEST(BackupFileTest, HexadecimalWordsAndTheirValues) {
    const struct {
        const char* line;
        int count;
        const char* values;
    } cases[] = {
        {"Buzzer Period 64", 1, "64"},
        {"Led Brightness 1F", 1, "1F"},
        {"Led Brightness 0000000a", 1, "0A"},
        {"Led Brightness 80000000", 1, "FF"},  // saturated at 7FFFFFFF, low 8 bits
        {"Led Brightness 7FFFFF41", 1, "41"},
        {"Led Brightness 123456789abcdef", 1, "FF"},
        {"Led Brightness 0x10 -5 +5 5: g5", 0, ""},
        {"Buzzer 1 cafe", 2, "01 FE"},
        {"\t 1\v2\f3\r", 3, "01 02 03"},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 20> values{};
        EXPECT_EQ(ParseHexValues(c.line, values), c.count) << c.line;
        EXPECT_EQ(velnortest::ToHex(velnortest::Bytes(values.begin(), values.begin() + c.count)), c.values) << c.line;
    }
    std::string many;
    for (int i = 0; i < 25; ++i) many += std::to_string(i % 10) + " ";
    std::array<std::uint8_t, 20> values{};
    EXPECT_EQ(ParseHexValues(many, values), 25) << "counted, but never stored past 20";
}

// Each kind of line: its echo (bytes widened as signed) and what it stores. Without a key line
// the keypad is in its 5-key mode, whose table is stored. (Which tables the other modes store
// shows in velnor's reading of backup files, through the same reader.)
TEST(BackupFileTest, EachLineIsEchoedAndStoredByItsOwnRule) {
    const struct {
        const char* text;
        const char* echo;
        const char* fields;
    } cases[] = {
        {"Buzzer 80\n", "Buzzer  ffffff80\n", "buzzer 80"},
        {"Buzzer 1\nBuzzer 2\n", "Buzzer  1\nBuzzer  2\n", "buzzer 02"},
        {"Buzzer Period ff\n", "Buzzer Period ffffffff\n", "period FF"},
        {"Led Brightness 7f\n", "Led Brightness 7f\n", "led 7F"},
        {"Keypad Table 2\n", "Keypad Table 2\n", "table 02"},
        {"Velnor has 8 keys\n", "Velnor has 8keys \n", "option 02"},
        {"Velnor has 10 keys\n", "Velnor has 10keys \n", "option 10"},
        {"Keycode values\n1 2 3 4 5 6 7 8 9 a b c d e\n", "Keycode Values 1 2 3 4 5 6 7 8 9 a b c d e \n",
         "codes 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E"},
        {"Keycode values\n1 2 3\n", "\n", ""},  // an unaccepted table ends its echo with an empty line
        {"Serial No ABC\n", "Serial No \n", ""},
        {"Serial No 1\n", "Serial No 1\n", "serial 1"},
        {"Serial No A\n", "Serial No \n", ""},
        {"Serial No A1\n", "Serial No A1\n", "serial A1"},
        {"Serial No 12345678 extra words\n", "Serial No 12345678\n", "serial 12345678"},
        {"Serial 42\n", "Serial No 42\n", "serial 42"},
        {"Version V6\n", "Version No V6\n", "firmware V6"},
        {"Version\n", "Version No Version\n", "firmware Version"},
        {"Version No V7.01 beta\n", "Version No V7.01\n", "firmware V7.01"},
    };
    for (const auto& c : cases) {
        const Read read = ReadText(c.text);
        EXPECT_EQ(read.echo, c.echo) << c.text;
        EXPECT_EQ(read.fields, c.fields) << c.text;
    }
}

}  // namespace
