// VelnorUtility run as a process against the simulated keypad with what an attacker would give
// it: files and pipes that never end or hold a giant line, things that are not files, and
// control bytes from the command line, a file or a keypad. The peak memory of each hostile
// run is taken from the child's rusage and must stay under a bound far above what the program
// needs (about 4 MiB) and far below what an unbounded reader takes (157 MB to several GB).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "support/BackupFileText.h"
#include "support/SimFolder.h"
#include "support/TestSupport.h"

namespace {

using namespace velnortest;

constexpr long kPeakBoundKiB = 32 * 1024;
// Peaks are checked in the build that ships: a sanitizer's runtime also keeps freed memory in
// quarantine and makes the test's own memory (which a forked child starts with) large.
constexpr std::size_t kMiB = std::size_t{1} << 20;

const std::string kKeypad = "device path=keypad-1 manufacturer=Velnor\nset firmware V6.10\nset serial 00000000\n";
const std::string kLineTooLong = "Backup file has a line longer than 4096 characters\r\n";
const std::string kTooLarge = "Backup file larger than 65536 bytes\r\n";
const std::string kCompareLineTooLong = "Compared file has a line longer than 4096 characters\r\n";
const std::string kFailed = "=====  FAILED - KEYPAD HAS NOT BEEN UPGRADED ====\n";

// A hostile file or pipe: head, then unit repeated to `bytes` bytes, then tail. Without a unit
// the middle is zero bytes, a hole that takes no disk in a file.
struct Content {
    std::string head;
    std::string unit;
    std::size_t bytes = 0;
    std::string tail;
};

void Write(int descriptor, const Content& content) {
    if (!WriteAll(descriptor, content.head)) return;
    struct stat info {};
    if (content.unit.empty() && fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        if (ftruncate(descriptor, static_cast<off_t>(content.head.size() + content.bytes)) != 0 ||
            lseek(descriptor, 0, SEEK_END) < 0) {
            throw std::runtime_error("cannot make a hole");
        }
    } else {
        const std::string unit = content.unit.empty() ? std::string(1, '\0') : content.unit;
        std::string block;  // small: what the test holds is copied into the forked child
        while (block.size() + unit.size() <= 64 * 1024) block += unit;
        for (std::size_t left = content.bytes; left > 0;) {
            const std::size_t take = std::min(left, block.size());
            if (!WriteAll(descriptor, std::string_view(block).substr(0, take))) return;  // it stopped reading
            left -= take;
        }
    }
    WriteAll(descriptor, content.tail);
}

bool HasRawControlBytes(const std::string& output) {
    return std::any_of(output.begin(), output.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') || c == 0x7F;
    });
}

class HostileInputTest : public ::testing::Test {
protected:
    std::string MakeFile(const std::string& name, const Content& content) const {
        const std::string path = sim_.Path(name);
        const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Write(descriptor, content);
        close(descriptor);
        return path;
    }

    // VelnorUtility in the examples folder, bounded; `feed`, when given, goes to its standard input.
    Result Run(const std::vector<std::string>& arguments, const Content* feed = nullptr,
               const SimFolder* keypad = nullptr) const {
        Launch launch;
        launch.bounded = true;
        if (feed != nullptr) launch.input = [feed](int descriptor) { Write(descriptor, *feed); };
        return (keypad != nullptr ? *keypad : sim_).Utility(arguments, launch);
    }

    void ExpectOutcome(const std::string& what, const Result& outcome, const std::string& output, int status) const {
        SCOPED_TRACE(what);
        EXPECT_EQ(Visible(outcome.out), Visible(output));
        EXPECT_EQ(outcome.status, status);
        if (!kSanitized) {
            EXPECT_LT(outcome.peakKiB, kPeakBoundKiB);
            std::printf("%-62s peak %6ld KiB\n", what.c_str(), outcome.peakKiB);
        }
    }

    SimFolder sim_{kKeypad};
};

// Huge files and endless pipes are refused in little memory, and the bounds hold to the byte.
TEST_F(HostileInputTest, HugeFilesAndEndlessPipesAreRefusedInLittleMemoryAndTheBoundsHoldToTheByte) {
    const std::string incomplete = "Failed to retrieve all config data from Backup file\r\n";
    const struct {
        const char* name;
        Content content;
        std::string restore;  // status 2; empty: not run (nor through a pipe, as each huge case is)
        std::string compare;  // status 1; empty: not run
    } cases[] = {
        {"200 MB of words after a Keycode values line", {"Keycode values\n", "1 ", 200 * kMiB, ""}, kLineTooLong,
         kCompareLineTooLong},
        {"one 200 MB line", {"", "", 200 * kMiB, ""}, kLineTooLong, kCompareLineTooLong},
        {"200 MB of short lines", {"", " 1  1f\n", 200 * kMiB, ""}, kTooLarge, kFailed},
        {"a file of 65536 bytes", {"", "x\n", 65536, ""}, incomplete, ""},
        {"a file of 65537 bytes", {"", "x\n", 65536, "x"}, kTooLarge, ""},
        {"a line of 4096 characters", {"", "x", 4096, "\n"}, incomplete, ""},
        {"a line of 4097 characters", {"", "x", 4097, "\n"}, kLineTooLong, ""},
        {"a last line of 4096 characters", {"", "x", 4096, ""}, "", kFailed},
        {"a last line of 4097 characters", {"", "x", 4097, ""}, "", kCompareLineTooLong},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        const std::string file = MakeFile("hostile.txt", c.content);
        if (!c.restore.empty()) ExpectOutcome(name + ", -b", Run({"-b", file}), c.restore, 2);
        if (!c.compare.empty()) ExpectOutcome(name + ", -c", Run({"-c", file, file}), c.compare, 1);
        std::remove(file.c_str());
        if (c.content.bytes > kMiB) {
            ExpectOutcome(name + ", -b through a pipe", Run({"-b", "/dev/stdin"}, &c.content), c.restore, 2);
        }
    }
}

TEST_F(HostileInputTest, MissingFilesFoldersAndDevicesAreFilesThatCannotBeOpened) {
    for (const std::string& path : {sim_.Path("no-such-file.txt"), sim_.Path(""), std::string("/dev/zero"), std::string("/dev/urandom")}) {
        ExpectOutcome(path + ", -b", Run({"-b", path}), "Cannot open backup file\r\n", 1);
        ExpectOutcome(path + ", -c as the first", Run({"-c", path, "backup-6-keys.txt"}), "Unable to open file", 1);
        ExpectOutcome(path + ", -c as the second", Run({"-c", "backup-6-keys.txt", path}), "Unable to open file", 1);
    }
}

TEST_F(HostileInputTest, ASerialNumberWithControlBytesIsRefusedOnTheCommandLine) {
    const std::vector<std::string> serials{"\x1b[2J", "12\a34", "1234\r", "12\n34", "\x7f", "12\x01"};
    for (const std::string& serial : serials) {
        SCOPED_TRACE(Visible(serial));
        const Result outcome = Run({"-k", "6", "-n", serial});
        EXPECT_EQ(Visible(outcome.out), Visible("-n: serial number holds control characters\r\n"));
        EXPECT_EQ(outcome.status, 1);
    }
    const Result flag = Run({"-x\x1b[2J"});
    EXPECT_EQ(Visible(flag.out),
              Visible("flag not recognised -x\\x1b[2J\r\nIncorrect number of keys specified\r\n"));
    EXPECT_EQ(flag.status, 1);
}

TEST_F(HostileInputTest, ControlBytesFromAFileAreShownEscapedOrRefused) {
    const std::string echoed = MakeFile("echoed.txt", {BackupFileText("V6.1\a\x1b]0;x", "20\x1b[2J"), "", 0, ""});
    const Result refused = Run({"-b", echoed});
    EXPECT_EQ(Visible(refused.out),
              Visible("Version No V6.1\\x07\\x1b]0;x\nBackup file serial number holds control characters\r\n"));
    EXPECT_EQ(refused.status, 2);

    const Result compared = Run({"-c", echoed, echoed});
    EXPECT_FALSE(HasRawControlBytes(compared.out)) << Visible(compared.out);
    EXPECT_NE(compared.out.find("Matched Serial No 20\\x1b[2J\n"), std::string::npos) << Visible(compared.out);
}

TEST_F(HostileInputTest, ControlBytesFromTheKeypadAreShownEscaped) {
    const SimFolder keypad("device path=keypad-1 manufacturer=Vel\x1bnor product=Keypad\n"
                           "set firmware V6\x1b[2J\nset serial 1234\a5678\n");
    const Result outcome = Run({"-k", "6", "-n", "12345678"}, nullptr, &keypad);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(HasRawControlBytes(outcome.out)) << Visible(outcome.out);
    for (const char* line :
         {"manufacture Vel\\x1bnor\r\n", " FirmwareName Mode V6\\x1b[2J\r\n", " Serial number 1234\\x075678\r\n"}) {
        EXPECT_NE(outcome.out.find(line), std::string::npos) << Visible(line) << " in " << Visible(outcome.out);
    }
}

}  // namespace
