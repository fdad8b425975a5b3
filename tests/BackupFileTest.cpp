// Reading backup files: classification, hexadecimal values, the record, echoes and the count.
// (A whole file read into the record, and its echo, show in the utility's restore runs.)
#include <gtest/gtest.h>

#include <sstream>

#include "BackupFile.h"
#include "support/TestSupport.h"

using velnorbackup::ParseHexValues;
using velnorbackup::ReadBackupFile;

namespace {

const std::string kVersion = "Version No V6.12\n";
const std::string kSerial = "Serial No 12345678\n";
const std::string kKeys6 = "Velnor has 6 keys\n";
const std::string kTable16 = "Keycode values\n 1e 1f 20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d\n";
const std::string kKeypadTable = "Keypad Table 1\n";
const std::string kLed = "Led Brightness 5\n";
const std::string kBuzzer = "Buzzer 1\n";
const std::string kPeriod = "Buzzer Period 64\n";
const std::string kComplete = kVersion + kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer + kPeriod;

struct Read {
    int result;
    DEVICE_INFO info;
    std::string echo;
};

Read ReadText(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream echo;
    Read read;
    read.result = ReadBackupFile(in, read.info, echo);
    read.echo = echo.str();
    return read;
}

TEST(BackupFileTest, CarriageReturnsAndAMissingLastLineEndChangeNothing) {
    std::string crlf;
    for (char c : kComplete) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const Read withCrlf = ReadText(crlf);
    EXPECT_EQ(withCrlf.result, 0);
    EXPECT_EQ(withCrlf.info.SerialNumber, "12345678");
    EXPECT_EQ(withCrlf.echo, ReadText(kComplete).echo);
    const Read noLastEnd = ReadText(kComplete.substr(0, kComplete.size() - 1));
    EXPECT_EQ(noLastEnd.result, 0);
    EXPECT_EQ(noLastEnd.info.BuzzerPeriod, 0x64);
}

struct CountCase {
    const char* name;
    std::string text;
    int result;
};

TEST(BackupFileTest, TheCountIsOfAcceptedLines) {
    const std::vector<CountCase> cases = {
        {"empty file", "", 1},
        {"without its Version line", kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer + kPeriod, 1},
        {"Buzzer twice and no Version", kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer + "Buzzer 2\n" + kPeriod,
         0},
        {"a repeated line on a complete file", kComplete + kLed, 1},
        {"unknown lines are ignored", "# backup\n\n  Buzzer 1\nbuzzer 1\n" + kComplete + "Keycode Values\n", 0},
        {"a table of the wrong count is not counted", kVersion + kSerial + kKeys6 + "Keycode values\n1 2 3\n" +
                                                          kKeypadTable + kLed + kBuzzer + kPeriod, 1},
        {"a header as the last line", kVersion + kSerial + kKeys6 + kKeypadTable + kLed + kBuzzer + kPeriod +
                                          "Keycode values\n", 1},
        {"a single-value line with two values", kVersion + kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer +
                                                    "Buzzer Period 64 ab\n", 1},
        {"a value with a 0x prefix", kVersion + kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer +
                                         "Buzzer Period 0x64\n", 1},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadText(c.text).result, c.result);
    }
    const Read twice = ReadText(kSerial + kKeys6 + kTable16 + kKeypadTable + kLed + kBuzzer + "Buzzer 2\n" + kPeriod);
    EXPECT_EQ(twice.info.BuzzerSetting, 2) << "the later value wins";
    EXPECT_EQ(twice.info.FirmwareName, "");
}

struct ValueCase {
    const char* line;
    int count;
    std::vector<std::uint8_t> values;
};

TEST(BackupFileTest, HexadecimalWordsAndTheirValues) {
    const std::vector<ValueCase> cases = {
        {"Buzzer Period 64", 1, {0x64}},
        {"Led Brightness 1F", 1, {0x1F}},
        {"Led Brightness 0000000a", 1, {0x0A}},
        {"Led Brightness 80000000", 1, {0xFF}},  // saturated at 7FFFFFFF, low 8 bits
        {"Led Brightness 7FFFFF41", 1, {0x41}},
        {"Led Brightness 123456789abcdef", 1, {0xFF}},
        {"Led Brightness 0x10 -5 +5 5: g5", 0, {}},
        {"Buzzer 1 cafe", 2, {0x01, 0xFE}},
        {"\t 1\v2\f3\r", 3, {1, 2, 3}},
        {"", 0, {}},
    };
    for (const ValueCase& c : cases) {
        std::array<std::uint8_t, 20> values{};
        EXPECT_EQ(ParseHexValues(c.line, values), c.count) << c.line;
        EXPECT_EQ(std::vector<std::uint8_t>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(c.values.size())),
                  c.values)
            << c.line;
    }
    std::string many;
    for (int i = 0; i < 25; ++i) many += std::to_string(i % 10) + " ";
    std::array<std::uint8_t, 20> values{};
    EXPECT_EQ(ParseHexValues(many, values), 25) << "counted, but never stored past 20";
}

// Without a key line the keypad is in its 5-key mode, whose table is stored. (Which tables the
// other modes store shows in velnor's reading of backup files, through the same reader.)
TEST(BackupFileTest, WithoutAKeyLineA5KeyTableIsStored) {
    const Read read = ReadText("Keycode values\n1 2 3 4 5 6 7 8 9 a b c d e\n");
    EXPECT_EQ(read.info.KeyCountOption, 0);
    EXPECT_EQ(read.info.CodeTable[0], 1);
    EXPECT_EQ(read.info.CodeTable[13], 0x0E);
    EXPECT_EQ(ReadText("Keycode values\n1 2 3\n").echo, "\n") << "an unaccepted table ends its echo with an empty line";
}

TEST(BackupFileTest, EchoesWidenBytesAsSigned) {
    EXPECT_EQ(ReadText("Buzzer 80\n").echo, "Buzzer  ffffff80\n");
    EXPECT_EQ(ReadText("Buzzer Period ff\n").echo, "Buzzer Period ffffffff\n");
    EXPECT_EQ(ReadText("Led Brightness 7f\n").echo, "Led Brightness 7f\n");
    EXPECT_EQ(ReadText("Velnor has 10 keys\n").echo, "Velnor has 10keys \n");
}

TEST(BackupFileTest, WordValuesAndTheSerialRule) {
    const struct {
        const char* line;
        std::string serial;
        std::string firmware;
    } cases[] = {
        {"Serial No ABC", "", ""},
        {"Serial No 1", "1", ""},
        {"Serial No A", "", ""},
        {"Serial No 12345678 extra words", "12345678", ""},
        {"Serial 42", "42", ""},
        {"Version V6", "", "V6"},
        {"Version", "", "Version"},
        {"Version No V7.01 beta", "", "V7.01"},
    };
    for (const auto& c : cases) {
        const Read read = ReadText(std::string(c.line) + "\n");
        EXPECT_EQ(read.info.SerialNumber, c.serial) << c.line;
        EXPECT_EQ(read.info.FirmwareName, c.firmware) << c.line;
    }
    EXPECT_EQ(ReadText("Serial No ABC\n").echo, "Serial No \n");
}

}  // namespace
