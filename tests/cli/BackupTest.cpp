// Backup files: what velnor writes is what the utility's own reader gives back, laid out as the
// example files are; what it refuses to read.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "AtomicFile.h"
#include "BackupFile.h"
#include "BackupReading.h"
#include "BackupWriter.h"
#include "Compare.h"
#include "support/TestSupport.h"

namespace velnorcli {
namespace {

using velnortest::ReadFile;

const Provenance kFrom{"2026-01-02T03:04:05Z", "7.0", {"/dev/hidraw3", "USB1", "Velnor", "Velnor Keypad", "1-2.3"}};

BackupContent Read(const std::string& text) {
    std::istringstream in(text);
    const Result<BackupContent> reading = ReadBackup(in, "file");
    if (!reading) ADD_FAILURE() << reading.failure().message;
    return reading ? *reading : BackupContent{};
}

// A keypad holding what a restore of the file left it with.
DEVICE_INFO KeypadRestoredFrom(const BackupContent& file) {
    DEVICE_INFO keypad = file.record;
    keypad.SerialNumber = file.settings.serial;
    return keypad;
}

TEST(BackupWriter, ABackupOfAKeypadRestoredFromAnExampleIsThatExampleWithTheProvenanceLineAfterIt) {
    for (const char* name : {"backup-5-keys.txt", "backup-6-keys.txt", "backup-8-keys.txt"}) {
        const std::string example = ReadFile(std::string(VELNOR_EXAMPLES_DIR) + "/" + name);
        const BackupText backup = WriteBackup(KeypadRestoredFrom(Read(example)), kFrom);
        EXPECT_EQ(backup.text, example + "Taken 2026-01-02T03:04:05Z by velnor 7.0 from keypad path=/dev/hidraw3 "
                                         "location=1-2.3 usb_serial=USB1\n") << name;
        EXPECT_TRUE(backup.warnings.empty()) << name;
    }
}

// The backup of a keypad, read back by the utility's own reader: it takes the file whole (one
// line of each kind, then the provenance), and gives back every setting except those the
// warnings name, and exactly those. The warnings are returned.
std::vector<std::string> RoundTrip(const DEVICE_INFO& keypad, const std::string& what) {
    const BackupText backup = WriteBackup(keypad, kFrom);
    std::istringstream in(backup.text);
    DEVICE_INFO read;
    std::ostringstream echo;
    EXPECT_EQ(velnorbackup::ReadBackupFile(in, read, echo), 0) << what << "\n" << backup.text;
    const int stored = TableLengthOfOption(keypad.KeyCountOption);
    EXPECT_EQ(std::count(backup.text.begin(), backup.text.end(), '\n'), 26 + std::max(0, stored - 14) + (stored == 0 ? 6 : 0))
        << what << "\n" << backup.text;
    std::vector<Field> expected;
    for (const Difference& difference : Compare(SettingsOfKeypad(keypad), SettingsAfterRestore(read))) {
        expected.push_back(difference.field);
    }
    // An option outside 0, 1, 2 and a keypad table above 2 are written raw, which the utility
    // restores, but velnor refuses such a file.
    const auto alsoWarned = [&expected](bool warned, Field field) {
        if (warned && std::find(expected.begin(), expected.end(), field) == expected.end()) {
            expected.insert(std::find_if(expected.begin(), expected.end(), [field](Field f) { return f > field; }), field);
        }
    };
    alsoWarned(keypad.KeypadTable > 2, Field::KeypadTable);
    alsoWarned(!KeysOfOption(keypad.KeyCountOption), Field::KeyCountOption);
    EXPECT_EQ(expected.size(), backup.warnings.size()) << what << "\n" << backup.text;
    for (std::size_t i = 0; i < std::min(expected.size(), backup.warnings.size()); ++i) {
        EXPECT_EQ(backup.warnings[i].rfind(std::string(FieldName(expected[i])) + ":", 0), 0u) << what << ": " << backup.warnings[i];
    }
    return backup.warnings;
}

// What the keypad holds that the format cannot carry, in shapes a random keypad seldom has.
TEST(BackupWriter, WarnsForEachValueTheFormatCannotCarry) {
    const struct {
        const char* what;
        void (*change)(DEVICE_INFO&);
        const char* says;  // in the one warning
    } kCases[] = {
        {"bytes beyond a 5-key table", [](DEVICE_INFO& k) { k.CodeTable[15] = 0x58; }, "code_table: "},
        {"a serial with a line feed inside", [](DEVICE_INFO& k) { k.SerialNumber = "12\nBuzzer 7"; }, "serial: "},
        {"an 8-character serial without blanks on V6", [](DEVICE_INFO& k) { k.SerialNumber = "12345678"; }, "four blanks"},
        {"the same, the firmware name after a blank", [](DEVICE_INFO& k) { k.FirmwareName = " V6.1"; k.SerialNumber = "12345678"; },
         "four blanks"},
    };
    for (const auto& c : kCases) {
        DEVICE_INFO keypad;
        keypad.FirmwareName = "V6.12";
        keypad.SerialNumber = "20261206    ";
        keypad.CodeTable = {0x1e, 0x1f, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2c, 0x29, 0x2a};
        c.change(keypad);
        const std::vector<std::string> warnings = RoundTrip(keypad, c.what);
        ASSERT_EQ(warnings.size(), 1u) << c.what;
        EXPECT_NE(warnings.front().find(c.says), std::string::npos) << c.what << ": " << warnings.front();
    }
}

TEST(BackupWriter, RandomKeypadsComeBackFromTheUtilitysReaderOrTheBackupWarnsForExactlyTheRest) {
    std::mt19937 random(20261207);
    auto byte = [&](int high) { return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, high)(random)); };
    const std::string characters = "0123456789ABCDEFGHIJ  \t\x1b-";
    int carried = 0;
    for (int round = 0; round < 3000; ++round) {
        DEVICE_INFO keypad;
        keypad.LedLevel = byte(255);
        keypad.BuzzerSetting = byte(255);
        keypad.BuzzerPeriod = byte(255);
        keypad.KeypadTable = byte(3);
        keypad.KeyCountOption = byte(3) == 0 ? byte(255) : byte(2);
        const int used = TableLengthOfOption(keypad.KeyCountOption);
        for (std::size_t i = 0; i < 20; ++i) keypad.CodeTable[i] = (static_cast<int>(i) < used || byte(7) == 0) ? byte(255) : 0;
        keypad.FirmwareName = byte(1) ? "V6.1" : "V7.03";
        const int length = byte(3) == 0 ? 8 : byte(16);
        for (int i = 0; i < length; ++i) keypad.SerialNumber += characters[byte(static_cast<int>(characters.size()) - 1)];
        if (byte(3) == 0) keypad.SerialNumber = std::to_string(10000000 + byte(255)) + (byte(1) ? "    " : "");
        carried += RoundTrip(keypad, "round " + std::to_string(round)).empty();
        if (HasFailure()) return;
    }
    EXPECT_GT(carried, 300);  // the generator reaches both outcomes
}

std::string Example(const std::string& replace, const std::string& with) {
    std::string text = ReadFile(std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt");
    const std::size_t at = text.find(replace);
    if (at == std::string::npos) ADD_FAILURE() << replace;
    return text.replace(at, replace.size(), with);
}

TEST(BackupReading, RefusesWhatTheUtilityRefusesAndWhatItWouldMangleNamingTheLine) {
    const struct {
        const char* what;
        std::string text;
        const char* reason;  // a part of it
        int line;
    } kCases[] = {
        {"no Version line", Example("Version No V6.12\n", ""), "7 lines of settings accepted", 0},
        {"an empty file", "", "0 lines", 0},
        {"a 0x value", Example("Buzzer 1\n", "Buzzer 0x1\n"), "no valid line: Buzzer", 0},
        {"Buzzer twice, no Buzzer Period", Example("Buzzer Period 32\n", "Buzzer 2\n"), "no valid line gives Buzzer Period", 0},
        {"8 keys with a 16-value table", Example("Velnor has 6 keys", "Velnor has 8 keys"), "16 values where 8 keys take 20", 6},
        {"the key count after a 14-value table", Example("Velnor has 6 keys\n", "").append("Velnor has 6 keys\n"),
         "before the line that gives the key count", 5},
        {"a key count of 7", Example("Velnor has 6 keys", "Velnor has 7 keys"), "key count other than 5, 6 or 8", 4},
        {"keypad table 3", Example("Keypad Table 1", "Keypad Table 3"), "keypad table above 2", 24},
        {"a line of 5000 characters", Example("Key  Code", "Key  Code" + std::string(5000, ' ')), "a line longer than", 0},
        {"a serial with a control byte", Example("Serial No 20261206", "Serial No 2026\x01"), "control characters", 0},
    };
    for (const auto& c : kCases) {
        std::istringstream in(c.text);
        const Result<BackupContent> reading = ReadBackup(in, "f");
        ASSERT_FALSE(reading.ok()) << c.what;
        const std::string& message = reading.failure().message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << c.what << ": " << message;
        const std::string where = c.line != 0 ? "refused f, line " + std::to_string(c.line) + ": " : "refused f: ";
        EXPECT_EQ(message.rfind(where, 0), 0u) << c.what << ": " << message;
        EXPECT_EQ(reading.failure().status, kFileProblem);
    }
}

// Without --force the new file is linked to its name, which refuses a file that appeared after
// the early check; nothing is replaced and no temporary file is left either way.
TEST(AtomicFile, ANewFileNeverReplacesOneThatIsThereAndLeavesNoTemporaryFile) {
    const velnortest::TempFolder folder;
    const struct {
        const char* name;
        const char* before;  // nullptr: no such file
        bool replace;
        int status;          // of the failure; 0: written
        const char* after;
    } kCases[] = {
        {"new.txt", nullptr, false, 0, "new"},
        {"there.txt", "old", false, kFileProblem, "old"},
        {"replaced.txt", "old", true, 0, "new"},
    };
    for (const auto& c : kCases) {
        const std::string path = folder.Path(c.name);
        if (c.before != nullptr) folder.Write(c.name, c.before);
        const Done written = WriteFileAtomically(path, "new", c.replace);
        EXPECT_EQ(written ? 0 : written.failure().status, c.status) << c.name;
        EXPECT_EQ(ReadFile(path), c.after) << c.name;
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path(""))) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"new.txt", "replaced.txt", "there.txt"}));
}

}  // namespace
}  // namespace velnorcli
