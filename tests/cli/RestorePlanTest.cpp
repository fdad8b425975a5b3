// What a restore and a set aim at, computed before anything is written: the serial as the
// utility sends it, and the values a set accepts. Which steps follow shows in the commands that
// velnor restore and velnor set send (VelnorRestoreTest).
#include <gtest/gtest.h>

#include <sstream>

#include "RestorePlan.h"
#include "SetValues.h"
#include "Suggest.h"
#include "UtcTime.h"

namespace velnorcli {
namespace {

DEVICE_INFO Backup(const std::string& firmware, const std::string& serial) {
    DEVICE_INFO file;
    file.FirmwareName = firmware;
    file.SerialNumber = serial;
    file.LedLevel = 7;
    return file;
}

TEST(RestorePlan, TheSerialIsSentAsTheUtilitySendsIt) {
    const struct {
        const char* firmware;
        const char* serial;
        const char* sent;
    } kCases[] = {
        {"V6.12", "12345678", "12345678    "},     // eight characters, firmware below 7: four blanks
        {"V7.01", "12345678", "12345678"},
        {"V6.12", "1234567", "1234567"},
        {"6", "12345678", "12345678    "},         // a name shorter than two characters counts as below 7
        {"V6", "12345678901234567890", "12345678901234567890"},  // sent whole; a status shows 16
    };
    for (const auto& c : kCases) {
        const Target target = TargetOfBackup(Backup(c.firmware, c.serial));
        EXPECT_EQ(target.serialText, c.sent) << c.firmware << " " << c.serial;
        EXPECT_EQ(target.settings.serial, std::string(c.sent).substr(0, 16));
        EXPECT_EQ(target.settings.ledLevel, 7);
    }
}

// The nearest name is offered within two edits, and only when fewer than the word's letters.
TEST(Suggest, ANameWithinTwoEditsIsOffered) {
    const std::vector<std::string> known = {"status", "set", "list", "led_level", "--json", "-h"};
    const std::tuple<const char*, const char*, std::size_t> kCases[] = {  // word, nearest, edits to it (or to status)
        {"stauts", "status", 1},  {"STATUS", "status", 0}, {"ledlevel", "led_level", 1}, {"--jsn", "--json", 1},
        {"stat", "status", 2},    {"lst", "list", 1},      {"statusxyz", "", 3},         {"-V", "", 6},
        {"", "", 6},  // a swap is one edit; case and leading dashes do not count; the first of the nearest
    };
    for (const auto& [word, nearest, edits] : kCases) {
        EXPECT_EQ(Nearest(word, known), nearest) << word;
        EXPECT_EQ(EditDistance(word, *nearest != '\0' ? nearest : "status"), edits) << word;
    }
}

TEST(SetValues, ValuesAreCheckedBeforeAnythingIsWritten) {
    const struct {
        std::vector<std::string> words;
        const char* refusal;  // "" when accepted
    } kCases[] = {
        {{"led_level=0x10", "buzzer=255", "keypad_table=2", "keys=8", "serial="}, ""},
        {{"code_table=1e,1f 20 21 22 23 24 25 26 27 28 2c 29 2a"}, ""},
        {{}, "no FIELD=VALUE given"},
        {{"led_level"}, "led_level is not FIELD=VALUE"},
        {{"led=1"}, "no setting led; the settings are led_level, buzzer,"},
        {{"ledlevel=5"}, "no setting ledlevel; did you mean led_level?"},
        {{"buzzer=1", "buzzer=2"}, "buzzer is given twice"},
        {{"led_level=256"}, "led_level: 256 is above 255"},
        {{"led_level=-1"}, "not a number"},
        {{"led_level=0x"}, "not a number"},
        {{"keypad_table=3"}, "keypad_table: 3 is above 2, which the keypad refuses"},
        {{"keys=7"}, "keys: 7; a keypad has 5, 6 or 8 keys"},
        {{"serial=12345678901234567"}, "serial: 17 characters; a keypad keeps 16"},
        {{"serial=a\tb"}, "serial: a control character"},
        {{"code_table=1e 1f"}, "code_table: 2 values; a keypad stores 14 (5 keys), 16 (6 keys) or 20 (8 keys)"},
        {{"code_table=1e 100"}, "code_table: 100 is not a hexadecimal byte"},
        {{"keys=5", "code_table=1 2 3 4 5 6 7 8 9 a b c d e f 10"}, "code_table: 16 values, but 5 keys store 14"},
        // key.N: a code with 0x, else a name (as `velnor keys` shows it), any case.
        {{"key.0=0x1e", "key.19=0XFF", "key.3=2 AND @", "code_table=1 2 3 4 5 6 7 8 9 a b c d e f 10"}, ""},
        {{"key.20=0x1e"}, "key.20: no such key; the code table has 20 entries, key.0 to key.19"},
        {{"key.3=0x100"}, "key.3: 0x100 is not a code (0x00 to 0xff)"},
        {{"key.3=0x1e", "key.3=2 and @"}, "key.3 is given twice"},
        {{"key.3="}, "key.3: no key name or code (0xNN) given"},
        {{"key.3=1"}, "key.3: no key is named 1; did you mean \"1 and !\" (0x1e)? (velnor keys lists the names)"},
        {{"key.3=\\ and |"}, "names several keys; give the code: 0x31 or 0x64"},
    };
    std::istringstream usbIds("HUT 07  Keyboard\n\t01e  1 and ! (One and Exclamation)\n\t01f  2 and @ (2 and at)\n"
                              "\t031  \\ and | (Backslash)\n\t064  \\ and | (Backslash, Non-US)\n");
    const KeyNames names = KeyNames::Read(usbIds);
    EXPECT_NE(ParseAssignments({"key.3=1 and !"}).failure().message.find("cannot be read); give the code as 0xNN"), std::string::npos);
    for (const auto& c : kCases) {
        const auto parsed = ParseAssignments(c.words, names);
        const std::string refusal = parsed ? "" : parsed.failure().message;
        if (std::string(c.refusal).empty()) {
            EXPECT_TRUE(parsed.ok()) << refusal;
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.refusal << ": " << refusal;
            EXPECT_EQ(parsed ? kDone : parsed.failure().status, kUsage);
        }
    }
}

TEST(SetValues, TheTargetIsTheKeypadWithTheValuesAppliedAndTheTableFitsItsKeyCount) {
    DEVICE_INFO v6 = Backup("V6.12", "old");
    v6.KeyCountOption = 1;
    const auto assigned = [&](const DEVICE_INFO& now, const std::vector<std::string>& words) {
        return TargetOfSet(now, *ParseAssignments(words));
    };
    const Target serial = *assigned(v6, {"serial=12345678", "buzzer=3"});
    EXPECT_EQ(serial.serialText, "12345678    ") << "as VelnorUtility -k -n sends it to firmware V6";
    EXPECT_EQ(serial.settings.buzzer, 3);
    EXPECT_EQ(serial.settings.ledLevel, 7);
    DEVICE_INFO v7 = v6;
    v7.FirmwareName = "V7.0";
    EXPECT_EQ(assigned(v7, {"serial=12345678"})->serialText, "12345678");

    const Target table = *assigned(v6, {"code_table=1 2 3 4 5 6 7 8 9 a b c d e f 10"});
    EXPECT_EQ(table.settings.codeTable[15], 0x10);
    EXPECT_EQ(table.settings.codeTable[16], 0) << "the bytes past the key count are 0, as a restore leaves them";
    const auto misfit = assigned(v6, {"code_table=1 2 3 4 5 6 7 8 9 a b c d e"});
    EXPECT_NE(misfit.failure().message.find("stores 16"), std::string::npos);
    EXPECT_TRUE(assigned(v6, {"keys=5", "code_table=1 2 3 4 5 6 7 8 9 a b c d e"}).ok());

    // key.N changes one entry, over a table given with it; only entries the key count stores.
    const Target keys = *assigned(v6, {"code_table=1 2 3 4 5 6 7 8 9 a b c d e f 10", "key.15=0x2c", "key.0=0x2b"});
    EXPECT_EQ(keys.settings.codeTable, (CodeTable{0x2b, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x2c}));
    EXPECT_EQ(assigned(v6, {"key.16=0x2c"}).failure().message, "key.16: a keypad with 6 keys stores key.0 to key.15");
    EXPECT_TRUE(assigned(v6, {"keys=8", "key.16=0x2c"}).ok());
}

TEST(StationRecords, TimesAreUtcIso8601) {
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796638272345));
    EXPECT_EQ(UtcTime(when, true), "2026-12-07T10:11:12.345Z");
    EXPECT_EQ(UtcTime(when, false), "2026-12-07T10:11:12Z");
}

}  // namespace
}  // namespace velnorcli
