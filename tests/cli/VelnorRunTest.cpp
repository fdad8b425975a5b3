// The built velnor and libVelnorApi.so, run as processes against simulated keypads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "support/SimFolder.h"

namespace velnortest {
namespace {

using nlohmann::json;

const std::string kKeypad =
    "device path=keypad-1 manufacturer=Velnor product=\"Velnor Keypad\" serial=USB-A\n"
    "set firmware V6.12\nset serial \"12345678    \"\nset led_level 5\nset buzzer 1\nset buzzer_period 100\n"
    "set key_count_option 1\nset keypad_table 2\n"
    "set code_table 1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58 00 00 00 00\n";

std::string Device(const std::string& path, const std::string& usbSerial, const std::string& serial) {
    return "device path=" + path + " serial=" + usbSerial + "\nset firmware V7.01\nset serial " + serial + "\n";
}

const std::string kThreeKeypads = Device("keypad-1", "U1", "111") + Device("keypad-2", "U2", "222") + Device("keypad-3", "U1", "333");

bool OnlyStatusRequests(const SimFolder& sim) { return sim.TimesSent("01") == static_cast<long>(sim.CommandsSent().size()); }

// A run of velnor: its exit status, and texts its standard output and standard error hold.
struct Case {
    std::vector<std::string> words;
    int status;
    std::string out;
    std::string err = "";
};

// Each run shows no colour on a pipe (what it prints with --json is validated by json.schemas).
// `againAsJson`: each is run once more with --json added, with the same status, in the document's
// error.
void ExpectRuns(const SimFolder& sim, const std::vector<Case>& cases, bool againAsJson = false) {
    for (const Case& c : cases) {
        std::string command;
        for (const std::string& word : c.words) command += word + " ";
        const Result run = sim.Run(c.words);
        EXPECT_EQ(run.status, c.status) << command << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << command << ": " << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(run.err.find('\033'), std::string::npos) << command << ": colour off a terminal";
        if (!againAsJson) continue;
        std::vector<std::string> words = c.words;
        words.push_back("--json");
        const Result asJson = sim.Run(words);
        EXPECT_EQ(asJson.status, c.status) << command;
        const json document = json::parse(asJson.out);
        const json& error = document.contains("error") ? document["error"] : document["keypads"][0]["error"];
        EXPECT_EQ(error["status"], c.status) << asJson.out;
    }
}

TEST(VelnorRun, EachReadingCommandWithOneKeypad) {
    SimFolder sim(kKeypad);
    const std::string example = std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt";
    const std::string velnor = std::string(VELNOR_PROGRAM) + " ";  // run by a shell that redirects its output
    const std::string backup = sim.Path("backup.txt");
    ExpectRuns(sim, {
        {{"--json", "list"}, 0, R"({"keypads":[{"path":"keypad-1")"},
        {{"status", "--json", "--usb-serial", "USB-A"}, 0, R"("keys":6,"code_table":[30,31,)"},
        {{"status", "--serial", "12345678"}, 0, "Serial number  \"12345678    \"\n"},
        {{"status", "--all", "--json"}, 0, R"({"keypads":[{"keypad":{"path":"keypad-1")"},
        {{"status", "--path", "keypad-9"}, 3, "", "no keypad matches --path keypad-9\n"},
        {{"status", "--json", "--location", "1-1"}, 3, R"({"error":{"status":3,"message":"no keypad matches --location 1-1",)"},
        {{"verify", "--json", example}, 1, R"({"field":"keypad_table","from":2,"to":1})"},
        {{"diff", example, example}, 0, "equal"},
        {{"keys", "--json"}, 0, R"({"code":30,"name":"1 and !"})"},
        {{"backup", backup}, 0, "", "backup of keypad keypad-1 written to " + backup},
        {{"verify", backup}, 0, "keypad keypad-1 holds the settings of " + backup},
        {{"backup", backup}, 7, "", backup + " exists\nvelnor: hint: use --force to replace it\n"},
        {{"doctor"}, 0, "a keypad is attached and usable\n"},
        {{"--version"}, 0, "velnor 7.0\n"},
        {{"help", "verify"}, 0, "Usage: velnor verify [OPTIONS] FILE\n"},
        {{"-h"}, 0, "Usage: velnor [OPTIONS] [COMMAND]\n"},
        {{"/bin/sh", "-c", velnor + "backup - >/dev/full"}, 7, "", "velnor: error: cannot write standard output"},
        {{"/bin/sh", "-c", velnor + "backup - >&-"}, 7, "", "velnor: error: cannot write standard output"},
        {{"/bin/sh", "-c", velnor + "status --json >/dev/full"}, 7, "", "standard output: No space left on device"},
    });
    EXPECT_TRUE(OnlyStatusRequests(sim));
}

TEST(VelnorRun, AKeypadThatDoesNotAnswerIsStatusSixAndWithAllTheOthersStillAnswer) {
    ExpectRuns(SimFolder(kThreeKeypads + "fault 1 nak\n"), {
        {{"status", "--json", "--path", "keypad-3"}, 6, R"({"keypads":[{"keypad":{"path":"keypad-3")"},
        {{"status", "--all", "--json"}, 6, R"("serial":"111"}},{"keypad":{"path":"keypad-2")"},
        {{"status", "--all", "--json"}, 6, R"(,"status":6,"message":)"},
    });
}

TEST(VelnorRun, HostileFilesAndCommandLinesAreRefusedBeforeAnythingIsSent) {
    SimFolder sim(kKeypad);
    const std::string refused = sim.Write("refused.txt", "Velnor has 8 keys\nKeycode values\n1e 1f\n");
    std::string lines;
    for (int i = 0; i < 100000; ++i) lines += "Buzzer 1\n";
    const std::string huge = sim.Write("huge.txt", lines);
    const std::string longSerial = sim.Write("long.txt", "Serial No " + std::string(256, '2') + "\nVersion No V6\nVelnor has 6 keys\n"
        "Keypad Table 1\nKeycode values\n1 2 3 4 5 6 7 8 9 a b c d e f 10\nLed Brightness 1\nBuzzer 1\nBuzzer Period 1\n");
    ASSERT_EQ(mkfifo(sim.Path("fifo").c_str(), 0600) | symlink("/dev/null", sim.Path("null").c_str()), 0);
    ExpectRuns(sim, {
        {{"verify", refused}, 7, "", "VelnorUtility -b refuses it: 1 lines of settings accepted"},
        {{"verify", sim.Path("absent.txt")}, 7, "", "No such file or directory"},
        {{"verify", "/dev/zero"}, 7, "", "not a regular file"},
        {{"verify", huge}, 7, "", "larger than 65536 bytes"},
        {{"diff", refused, refused}, 7, "", "refused"},
        {{"verify", longSerial}, 7, "", "line 1: a serial number of 256 characters"},
        {{"backup", "--force", sim.Path("fifo")}, 7, "", "not a regular file"},
        {{"backup", "--force", sim.Path("null")}, 7, "", "not a regular file"},
        {{"verify", sim.Path("\x1b[2Jx")}, 7, "", "\\x1b[2Jx"},
        {{"verify", sim.Path("\xc2\x9b\x9b\xe2\x80\xae")}, 7, "", "\\u{009b}\\x9b\\u{202e}: No such file"},
        {{"status", "--path", "\x1b[31m"}, 3, "", "no keypad matches --path \\x1b[31m"},
    }, true);
    EXPECT_TRUE(sim.CommandsSent().empty());
}

// Each process finds the keypad as the last one left it, at the node it had then: paths from
// `velnor list` stay usable. A state file cut short or of another set-up is said and not used.
TEST(VelnorRun, EachProcessFindsTheKeypadTheLastLeftAtItsNode) {
    SimFolder sim("device location=1-2 name=kp\nset firmware V6.12\nset serial 1\n");
    const auto listed = [&] { return sim.Run({"list"}).out; };
    const std::string first = listed();
    EXPECT_EQ(listed(), first);
    EXPECT_EQ(sim.Utility({"-k", "8"}).status, 0);  // it restarts as the utility ends
    const std::string restarted = listed();
    EXPECT_NE(restarted, first) << "a new node after its restart";
    EXPECT_EQ(listed(), restarted);
    EXPECT_EQ(sim.State()["kp.flash.key_count_option"], "2");
    for (const char* state : {"device kp\nram.led_level 7\n", "device other\n"}) {
        sim.Write("state.txt", state);
        const Result run = sim.Run({"list"});
        EXPECT_EQ(run.out, first);
        EXPECT_NE(run.err.find("is not a state file of this set-up"), std::string::npos) << run.err;
        EXPECT_EQ(sim.State()["kp.flash.key_count_option"], "0");
    }
}

// A refused command line: status 2, nothing sent, and on standard error exactly two lines, what
// was wrong (with the nearest known word within two edits) and where the usage is; with --json
// also the error document.
TEST(VelnorRun, RefusedCommandLinesSayWhatWasWrongAndWhereTheUsageIs) {
    SimFolder sim(kKeypad);
    const std::string commands = "; the commands are list, status, backup, verify, diff, doctor, restore, set, reset, serials, keys, station, help";
    const struct {
        std::vector<std::string> words;
        std::string error;
        const char* command;  // whose --help the second line names
    } kCases[] = {
        {{}, "no command given" + commands, ""},
        {{"-V"}, "unknown option -V", ""},
        {{"--bogus", "status"}, "unknown option --bogus", "status"},
        {{"stauts"}, "unknown command stauts; did you mean status?", ""},
        {{"help", "frobnicate"}, "unknown command frobnicate" + commands, ""},
        {{"status", "--jsn=1"}, "unknown option --jsn; did you mean --json?", "status"},
        {{"set", "ledlevel=5"}, "no setting ledlevel; did you mean led_level?", "set"},
        {{"set", "keypad_table=3"}, "keypad_table: 3 is above 2, which the keypad refuses", "set"},
        {{"set"}, "set needs FIELD=VALUE", "set"},
        {{"diff", "old"}, "diff needs OLD NEW", "diff"},
        {{"backup", "a", "b"}, "backup takes only FILE", "backup"},
        {{"status", "--path"}, "--path needs a value", "status"},
        {{"status", "--path", "keypad-1", "--all"}, "--path and --all cannot be used together", "status"},
        {{"status", "--usb-serial", ""}, "an empty --usb-serial selects no keypad", "status"},
        {{"backup", "-", "--json"}, "backup to standard output (-) cannot be combined with --json", "backup"},
        {{"reset", "--timeout", "0"}, "--timeout: 0 is not between 0.1 and 3600", "reset"},
        {{"restore", "f", "--timeout", "nan"}, "--timeout: nan is not a number of seconds", "restore"},
        {{"status", "x\x1b[2J"}, "unexpected argument x\\x1b[2J", "status"},
    };
    for (const auto& c : kCases) {
        for (const bool asJson : {false, true}) {
            std::vector<std::string> words = c.words;
            if (asJson) words.insert(words.begin(), "--json");
            const Result run = sim.Run(words);
            EXPECT_EQ(run.status, 2) << c.error;
            EXPECT_EQ(run.err, "velnor: error: " + c.error + "\nRun 'velnor " + c.command + (*c.command ? " " : "") + "--help' for usage.\n");
            if (asJson) {
                EXPECT_EQ(json::parse(run.out)["error"]["message"], c.error) << run.out;
            }
        }
    }
    EXPECT_TRUE(sim.CommandsSent().empty());
}

// Colour only where a person reads: standard error a terminal, and NO_COLOR unset or empty.
TEST(VelnorRun, ErrorsAreColouredOnATerminalUnlessNoColorIsSet) {
    SimFolder sim("");
    const struct {
        const char* noColor;  // nullptr: unset
        bool terminal;
        const char* shown;
    } kCases[] = {
        {nullptr, true, "velnor: \033[1;31merror\033[0m: no keypad is attached"},
        {"", true, "velnor: \033[1;31merror\033[0m: no keypad is attached"},
        {"1", true, "velnor: error: no keypad is attached"},
        {nullptr, false, "velnor: error: no keypad is attached"},
    };
    for (const auto& c : kCases) {
        Launch launch;
        if (c.noColor != nullptr) launch.environment.push_back(std::string("NO_COLOR=") + c.noColor);
        // script(1) runs it on a terminal of its own and copies what it shows to its output.
        const Result run = c.terminal ? sim.Run({"/usr/bin/script", "-qec", std::string(VELNOR_PROGRAM) + " status", "/dev/null"}, launch)
                                      : sim.Run({"status"}, launch);
        EXPECT_EQ(run.status, 3) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.shown), std::string::npos) << (c.noColor ? c.noColor : "unset") << c.terminal
                                                                         << ": " << run.out << run.err;
    }
}

}  // namespace
}  // namespace velnortest
