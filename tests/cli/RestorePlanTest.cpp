// What a restore and a set plan to do, computed before anything is written. The table is what the
// user gets: which settings are written, in which order, and how the result is proved.
#include <gtest/gtest.h>

#include "RestorePlan.h"
#include "SetValues.h"
#include "UtcTime.h"

namespace velnorcli {
namespace {

const Step kCheck{StepKind::CheckRam};
const Step kFlash{StepKind::Flash};
const std::vector<Step> kProof{kCheck, kFlash, {StepKind::Reset}, {StepKind::Restart}, {StepKind::ReadBack}};

Step Write(Field field) { return {StepKind::Write, field}; }

std::vector<Step> Then(std::vector<Step> steps, const std::vector<Step>& more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

DEVICE_INFO Backup(const std::string& firmware, const std::string& serial) {
    DEVICE_INFO file;
    file.FirmwareName = firmware;
    file.SerialNumber = serial;
    file.LedLevel = 7;
    return file;
}

TEST(RestorePlan, OnlyTheSettingsThatDifferAreWrittenInTheUtilitysOrderThenProved) {
    Settings now;
    Target target{now, ""};
    Settings led = now;
    led.ledLevel = 9;
    Settings all;
    all.ledLevel = 1;
    all.buzzer = 1;
    all.buzzerPeriod = 1;
    all.keypadTable = 1;
    all.keyCountOption = 1;
    all.codeTable[3] = 1;
    all.serial = "1";
    const std::vector<Step> kEveryWrite = {Write(Field::Buzzer),         Write(Field::BuzzerPeriod), Write(Field::KeypadTable),
                                           Write(Field::LedLevel),       Write(Field::KeyCountOption), Write(Field::Serial),
                                           Write(Field::CodeTable)};
    const struct {
        const char* what;
        Settings target;
        bool force;
        std::vector<Step> steps;
        std::size_t changes;
    } kCases[] = {
        {"nothing differs: nothing at all", now, false, {}, 0},
        {"nothing differs, forced: every setting and the proof", now, true, Then(kEveryWrite, kProof), 0},
        {"the LED level differs", led, false, Then({Write(Field::LedLevel)}, kProof), 1},
        {"everything differs", all, false, Then(kEveryWrite, kProof), 7},
    };
    for (const auto& c : kCases) {
        const Plan plan = PlanRestore(now, Target{c.target, c.target.serial}, c.force);
        EXPECT_EQ(plan.steps, c.steps) << c.what;
        EXPECT_EQ(plan.changes.size(), c.changes) << c.what;
    }
    const Plan plan = PlanRestore(now, Target{all, "1"}, false);
    EXPECT_EQ(plan.changes.front().field, Field::Buzzer);
    EXPECT_EQ(plan.changes.front().left, Value(0));
    EXPECT_EQ(plan.changes.front().right, Value(1));
    EXPECT_EQ(StepName(plan.steps[3]), "writing led_level");
}

TEST(RestorePlan, SetWritesTheNamedSettingsThatDifferThenChecksAndFlashesWithoutARestart) {
    Settings now;
    Settings wanted = now;
    wanted.ledLevel = 5;
    const Target target{wanted, ""};
    EXPECT_EQ(PlanSet(now, target, {Field::LedLevel, Field::Buzzer}, false, true).steps,
              (std::vector<Step>{Write(Field::LedLevel), kCheck, kFlash}));
    EXPECT_EQ(PlanSet(now, target, {Field::LedLevel}, false, false).steps, (std::vector<Step>{Write(Field::LedLevel), kCheck}));
    EXPECT_EQ(PlanSet(now, target, {Field::Buzzer, Field::LedLevel}, true, true).steps,
              (std::vector<Step>{Write(Field::Buzzer), Write(Field::LedLevel), kCheck, kFlash}));
    EXPECT_TRUE(PlanSet(now, Target{now, ""}, {Field::LedLevel}, false, true).steps.empty());
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

TEST(SetValues, ValuesAreCheckedBeforeAnythingIsWritten) {
    const struct {
        std::vector<std::string> words;
        const char* refusal;  // "" when accepted
    } kCases[] = {
        {{"led_level=0x10", "buzzer=255", "keypad_table=2", "keys=8", "serial="}, ""},
        {{"code_table=1e,1f 20 21 22 23 24 25 26 27 28 2c 29 2a"}, ""},
        {{}, "no FIELD=VALUE given"},
        {{"led_level"}, "led_level: not FIELD=VALUE"},
        {{"led=1"}, "led: no such setting"},
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
    };
    for (const auto& c : kCases) {
        const auto parsed = ParseAssignments(c.words);
        const auto* refusal = std::get_if<std::string>(&parsed);
        if (std::string(c.refusal).empty()) {
            EXPECT_EQ(refusal, nullptr) << *refusal;
        } else {
            ASSERT_NE(refusal, nullptr) << c.refusal;
            EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
        }
    }
}

TEST(SetValues, TheTargetIsTheKeypadWithTheValuesAppliedAndTheTableFitsItsKeyCount) {
    DEVICE_INFO v6 = Backup("V6.12", "old");
    v6.KeyCountOption = 1;
    const auto assigned = [&](const DEVICE_INFO& now, const std::vector<std::string>& words) {
        return TargetOfSet(now, std::get<std::vector<Assignment>>(ParseAssignments(words)));
    };
    const Target serial = std::get<Target>(assigned(v6, {"serial=12345678", "buzzer=3"}));
    EXPECT_EQ(serial.serialText, "12345678    ") << "as VelnorUtility -k -n sends it to firmware V6";
    EXPECT_EQ(serial.settings.buzzer, 3);
    EXPECT_EQ(serial.settings.ledLevel, 7);
    DEVICE_INFO v7 = v6;
    v7.FirmwareName = "V7.0";
    EXPECT_EQ(std::get<Target>(assigned(v7, {"serial=12345678"})).serialText, "12345678");

    const Target table = std::get<Target>(assigned(v6, {"code_table=1 2 3 4 5 6 7 8 9 a b c d e f 10"}));
    EXPECT_EQ(table.settings.codeTable[15], 0x10);
    EXPECT_EQ(table.settings.codeTable[16], 0) << "the bytes past the key count are 0, as a restore leaves them";
    const auto misfit = assigned(v6, {"code_table=1 2 3 4 5 6 7 8 9 a b c d e"});
    EXPECT_NE(std::get<std::string>(misfit).find("stores 16"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<Target>(assigned(v6, {"keys=5", "code_table=1 2 3 4 5 6 7 8 9 a b c d e"})));
}

TEST(StationRecords, TimesAreUtcIso8601) {
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796638272345));
    EXPECT_EQ(UtcTime(when, true), "2026-12-07T10:11:12.345Z");
    EXPECT_EQ(UtcTime(when, false), "2026-12-07T10:11:12Z");
}

}  // namespace
}  // namespace velnorcli
