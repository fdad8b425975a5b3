// velnor restore, set and reset, run as processes against a simulated keypad that misbehaves at
// each step: whatever fails and wherever, the keypad's flash ends all old or all new, and the
// exit status and the result say which.
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/SimFolder.h"

namespace velnortest {
namespace {

using nlohmann::json;

const std::string kExample = std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt";

// A keypad every setting of which differs from backup-6-keys.txt.
const std::string kOldKeypad =
    "device path=keypad-1 name=kp reset_absent_ms=100\nset firmware V6.12\nset serial 87654321\nset led_level 1\n"
    "set buzzer 0\nset buzzer_period 7\nset key_count_option 2\nset keypad_table 0\n"
    "set code_table 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14\n";

// The settings of backup-6-keys.txt, as the simulator's statements.
const std::string kFileSettings =
    "set firmware V6.12\nset serial \"20261206    \"\nset led_level 7\nset buzzer 1\nset buzzer_period 50\n"
    "set key_count_option 1\nset keypad_table 1\nset code_table 1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a 2b 58 00 00 00 00\n";

const std::map<std::string, std::string> kOldFlash = {
    {"led_level", "1"}, {"buzzer", "0"}, {"buzzer_period", "7"}, {"keypad_table", "0"}, {"key_count_option", "2"},
    {"code_table", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14"}, {"serial", "\"87654321\""}};
const std::map<std::string, std::string> kNewFlash = {
    {"led_level", "7"}, {"buzzer", "1"}, {"buzzer_period", "50"}, {"keypad_table", "1"}, {"key_count_option", "1"},
    {"code_table", "1E 1F 20 21 22 23 24 25 26 27 28 2C 29 2A 2B 58 00 00 00 00"}, {"serial", "\"20261206    \""}};

enum class Flash { Old, New, Mixed };

// What the keypad's flash (or, with "ram", its RAM) holds.
Flash FlashOf(const SimFolder& sim, const std::string& memory = "flash") {
    const std::map<std::string, std::string> state = sim.State();
    bool old = true;
    bool now = true;
    for (const auto& [key, value] : kOldFlash) {
        const auto found = state.find("kp." + memory + "." + key);
        const std::string held = found == state.end() ? "?" : found->second;
        old = old && held == value;
        now = now && held == kNewFlash.at(key);
    }
    return old ? Flash::Old : now ? Flash::New : Flash::Mixed;
}

// Runs work(i) for every case, eight at a time: the runs mostly wait for the keypad.
void ForEachCase(std::size_t count, const std::function<void(std::size_t)>& work) {
    for (std::size_t first = 0; first < count; first += 8) {
        std::vector<std::thread> threads;
        for (std::size_t i = first; i < std::min(count, first + 8); ++i) threads.emplace_back(work, i);
        for (std::thread& thread : threads) thread.join();
    }
}

// The status reads are command 1: the first `good` of them are answered, the later ones not.
std::string LaterStatusReads(const std::string& kind, int good) {
    return "fault 1 " + kind + "\nfault 1 none 0 " + std::to_string(good) + "\n";
}

TEST(VelnorRestore, EveryStepThatFailsLeavesTheFlashAllOldOrAllNewAndSaysWhich) {
    const std::string preFlash = "unchanged-after-failure";
    struct Case {
        std::string step;
        std::string faults;  // statements of the simulator for the keypad
        const char* result;
        int status;
        Flash flash;
        bool ramOld = false;  // its RAM holds the old settings too
    };
    std::vector<Case> cases;
    const std::pair<const char*, int> kWrites[] = {{"buzzer", 4},          {"buzzer_period", 6},     {"keypad_table", 7},
                                                   {"led_level", 2},       {"key_count_option", 11}, {"serial", 14},
                                                   {"code_table", 5}};
    for (const char* kind : {"write_fails", "noreply", "nak", "unplug 300"}) {
        const std::string k = kind;
        cases.push_back({"reading the status", "fault 1 " + k + "\n", "unchanged-after-failure", 6, Flash::Old});
        for (const auto& [step, command] : kWrites) {
            cases.push_back({step, "fault " + std::to_string(command) + " " + k + "\n", "unchanged-after-failure", 6, Flash::Old});
        }
        cases.push_back({"checking the RAM", LaterStatusReads(k, 1), "unchanged-after-failure", 6, Flash::Old});
        // The flash command: refused or unanswered, the keypad is judged by a read after a restart
        // (the simulated keypad carries a command out before it misbehaves).
        const bool written = k != "write_fails";
        cases.push_back({"writing to flash", "fault 9 " + k + "\n", written ? "updated" : "unchanged-after-failure",
                         written ? 0 : 6, written ? Flash::New : Flash::Old});
        // The reset: carried out but refused, unanswered or followed by the unplugging, the keypad
        // restarts all the same; a reset that never reaches it restarts nothing, so what its flash
        // holds is not checked.
        cases.push_back({"restarting", "fault 10 " + k + "\n", written ? "updated" : "failed", written ? 0 : 6, Flash::New});
        cases.push_back({"reading back", LaterStatusReads(k, 2), "failed", 6, Flash::New});
    }
    cases.push_back({"not back after the restart", "", "failed", 6, Flash::New});
    cases.push_back({"led_level, then not back after the restart", "fault 2 nak\n", "unchanged-after-failure", 6, Flash::Old});
    cases.push_back({"led_level, unplugged for good", "fault 2 unplug\n", "unchanged-after-failure", 6, Flash::Old});
    // Neither the flash command nor a reset ever reaches the keypad: its old values are written
    // back to RAM; when that fails too, what its RAM holds is not known.
    cases.push_back({"writing to flash, then restarting", "fault 9 write_fails\nfault 10 write_fails\n",
                     "unchanged-after-failure", 6, Flash::Old, true});
    const std::string secondRead = "fault 1 noreply 0 1\nfault 1 none 0 1\nfault 10 write_fails\n";
    cases.push_back({"checking the RAM, then restarting", secondRead, "unchanged-after-failure", 6, Flash::Old, true});
    cases.push_back({"checking the RAM, restarting, writing back", secondRead + "fault 4 nak 0 1\nfault 4 none 0 1\n",
                     "failed", 6, Flash::Old});

    ForEachCase(cases.size(), [&](std::size_t i) {
        const Case& c = cases[i];
        const bool away = c.step.find("not back") != std::string::npos;
        std::string config = kOldKeypad + c.faults;
        if (away) config.replace(config.find("reset_absent_ms=100"), 19, "reset_absent_ms=100000");
        SimFolder sim(config);
        const Result run = sim.Run({"restore", "--json", "--timeout", away ? "1" : "5", kExample});
        const std::string what = c.step + " / " + c.faults;
        ASSERT_TRUE(json::accept(run.out)) << what << ": " << run.out << run.err;
        const json keypad = json::parse(run.out)["keypads"][0];
        EXPECT_EQ(keypad["result"], c.result) << what << ": " << keypad["message"];
        EXPECT_EQ(keypad["status"], c.status) << what;
        EXPECT_EQ(run.status, c.status) << what;
        EXPECT_EQ(FlashOf(sim), c.flash) << what << ": " << keypad["message"];
        if (c.ramOld) {
            EXPECT_EQ(FlashOf(sim, "ram"), Flash::Old) << what << ": " << keypad["message"];
        }
        EXPECT_EQ(c.result == preFlash ? sim.TimesSent("09") : 0, 0) << what << ": nothing reached flash";
    });
}

// Each row is run twice, on a keypad of its own each time: for people (a text it shows) and with
// --json (the keypad's result, or for a refusal the error's status). Both send the same commands.
TEST(VelnorRestore, RestoreSetAndResetWriteOnlyWhatDiffersAndRefuseBadInputBeforeAnyKeypadIsInvolved) {
    const std::string holding = kOldKeypad.substr(0, kOldKeypad.find("set firmware")) + kFileSettings;
    const std::string away = kOldKeypad.substr(0, kOldKeypad.find('\n')) + " reset_absent_ms=100000\n";
    SimFolder files("");
    const std::string kOnce = "init enumerate 1 open_path keypad-1 ";
    const std::string refused = files.Write("refused.txt", "Velnor has 8 keys\n");
    const struct {
        std::string config;
        std::vector<std::string> words;
        int status;
        const char* result;  // "": refused, before any keypad is involved or without one
        std::vector<std::string> sent;
        std::string shown;   // in the output for people
        // hidapi's calls but the looks that found no keypad ("" not checked): the keypad named is
        // listed once and opened from that listing, under one set-up.
        std::string calls = "";
    } kCases[] = {
        {holding, {"restore", kExample}, 0, "up-to-date", {"01"}, "up-to-date: keypad keypad-1 holds the settings of", kOnce},
        {holding, {"restore", "--dry-run", kExample}, 0, "planned", {"01"}, "a restore would write nothing", kOnce},
        // The restart adds the look that finds the keypad again, and its reopening.
        {holding, {"restore", "--force", kExample}, 0, "updated", {"01", "04", "06", "07", "02", "0B", "0E", "05", "01", "09", "0A", "01"},
         "checked after its restart", kOnce + "enumerate 1 open_path keypad-1 "},
        // A dry run shows each change (field, now -> after, in status's order, keys as keys) and
        // sends the status query only.
        {kOldKeypad, {"restore", "--dry-run", kExample}, 0, "planned", {"01"}, "  ->  6\nled_level      1 "},
        {kOldKeypad, {"set", "led_level=7", "buzzer=0x1", "buzzer_period=7"}, 0, "updated", {"01", "04", "02", "01", "09"}, "stored in flash"},
        {kOldKeypad, {"set", "led_level=7", "--no-flash"}, 0, "updated", {"01", "02", "01"}, "not stored in flash"},
        {kOldKeypad, {"set", "led_level=1", "buzzer=0"}, 0, "up-to-date", {"01"}, "nothing was written"},
        {kOldKeypad, {"set", "led_level=1", "--force"}, 0, "updated", {"01", "02", "01", "09"}, "stored in flash"},
        {kOldKeypad, {"set", "keys=6", "code_table=1e,1f,20,21,22,23,24,25,26,27,28,2c,29,2a,2b,58"}, 0, "updated",
         {"01", "0B", "05", "01", "09"}, ""},
        {kOldKeypad, {"set", "serial=12345678"}, 0, "updated", {"01", "0E", "01", "09"}, ""},
        {kOldKeypad, {"set", "--dry-run", "serial=12345678", "led_level=1"}, 0, "planned", {"01"}, "serial  \"87654321\"  ->  \"12345678    \"\nplanned: 1 setting of keypad keypad-1 differs"},
        {kOldKeypad, {"set", "--dry-run", "led_level=1"}, 0, "planned", {"01"}, "set would write nothing"},
        // A refused write: nothing goes to flash, and the restart takes the LED level written
        // first out of RAM, so that a later run does not take it for stored.
        {kOldKeypad + "fault 2 nak\n", {"set", "buzzer=0x1", "led_level=7"}, 6, "unchanged-after-failure", {"01", "04", "02", "0A", "01"},
         "restarted: it holds what it held before"},
        // An unanswered flash command: the keypad is restarted and read before anything is claimed.
        {kOldKeypad + "fault 9 noreply\n", {"set", "led_level=7"}, 0, "updated", {"01", "02", "01", "09", "0A", "01"},
         "after a restart it holds"},
        {kOldKeypad + "fault 9 write_fails\n", {"set", "led_level=7"}, 6, "unchanged-after-failure", {"01", "02", "01", "0A", "01"},
         "holds what it held before"},
        {kOldKeypad, {"set", "code_table=1e 1f 20 21 22 23 24 25 26 27 28 2c 29 2a"}, 2, "unchanged-after-failure", {"01"}, "stores 20"},
        {kOldKeypad, {"reset"}, 0, "restarted", {"01", "0A"}, "restarted: keypad keypad-1 restarted and is back\n"},
        {away, {"reset", "--timeout", "0.5"}, 6, "failed", {"01", "0A"}, "did not come back within 0.5 s after its restart"},
        // Every value is checked before any keypad is involved (which values pass shows in SetValues,
        // the refused command lines in VelnorRun).
        {kOldKeypad, {"restore", refused}, 7, "", {}, "VelnorUtility -b refuses it"},
        {kOldKeypad, {"restore", kExample, "--serials", files.Path("absent.txt")}, 7, "", {}, "cannot read the serial list"},
        {"", {"restore", kExample}, 3, "", {}, "no keypad"},
    };
    ForEachCase(std::size(kCases) * 2, [&](std::size_t i) {
        const auto& c = kCases[i / 2];
        const bool asJson = i % 2 == 1;
        SimFolder sim(c.config);
        std::vector<std::string> words = c.words;
        if (asJson) words.push_back("--json");
        const Result run = sim.Run(words);
        std::string what;
        for (const std::string& word : words) what += word + " ";
        EXPECT_EQ(run.status, c.status) << what << "\n" << run.out << run.err;
        EXPECT_EQ(sim.CommandsSent(), c.sent) << what;
        if (!c.calls.empty()) {
            std::string calls;
            for (const std::string& line : Lines(sim.Read("calls.log"))) {
                if (line != "hid_enumerate 0") calls += line.substr(4) + " ";  // without "hid_"
            }
            EXPECT_EQ(calls, c.calls + "exit ") << what;
        }
        if (!asJson) {
            EXPECT_NE((run.out + run.err).find(c.shown), std::string::npos) << what << "\n" << run.out << run.err;
            return;
        }
        ASSERT_TRUE(json::accept(run.out)) << what << ": " << run.out;
        const json document = json::parse(run.out);
        if (*c.result == '\0') {
            EXPECT_EQ(document["error"]["status"], c.status) << what << ": " << run.out;
        } else {
            EXPECT_EQ(document["keypads"][0]["result"], c.result) << what << ": " << run.out;
        }
    });
}

// A key set by its name (from the installed usb.ids) changes that entry of the code table, in RAM
// and flash, and nothing else.
TEST(VelnorRestore, SetKeyByNameChangesThatEntryOfTheCodeTableOnly) {
    SimFolder sim(kOldKeypad);
    const Result run = sim.Run({"set", "key.3=2 AND @"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\nkey 3  04 ("), std::string::npos) << run.out;  // the name as usb.ids gives it
    EXPECT_NE(run.out.find(")  ->  1f (2 and @)\n"), std::string::npos) << run.out;
    EXPECT_EQ(sim.CommandsSent(), (std::vector<std::string>{"01", "05", "01", "09"}));
    std::map<std::string, std::string> flash = kOldFlash;
    flash["code_table"] = "01 02 03 1F 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14";
    for (const auto& [key, value] : flash) EXPECT_EQ(sim.State()["kp.flash." + key], value) << key;
}

// Another keypad answering after the restart (plugged into the same port, or with the same USB
// serial string on another port) proves nothing about the keypad written: only the target does.
// No serial is returned, or given again, while the written keypad may hold it.
TEST(VelnorRestore, AKeypadSwappedInDuringTheRestartIsNeverTakenForTheOneWritten) {
    const std::string fresh = "\nset firmware V6.12\n";
    // A is the keypad written, C the one that appears later; aFlashSerial: what A's flash holds.
    const struct { const char* what; std::string a, c; bool serials; const char* result; int status; const char* aFlashSerial; } kCases[] = {
        {"flash carried out, then A gone for good; a fresh C on its port",
         "device location=1-2 name=A" + fresh + "fault 9 unplug\n", "device location=1-2 name=C appear_after_ms=3000" + fresh,
         true, "failed", 6, "\"1001\""},
        {"flash write fails, the reset takes A away for good; C holding the file on its port",
         "device location=1-2 name=A" + fresh + "fault 9 write_fails\nfault 10 unplug\n",
         "device location=1-2 name=C appear_after_ms=3000\n" + kFileSettings, false, "unchanged-after-failure", 6, "\"\""},
        {"A restarts slowly; a fresh C on its port", "device location=1-2 name=A reset_absent_ms=60000" + fresh,
         "device location=1-2 name=C appear_after_ms=3000" + fresh, true, "failed", 1, "\"1001\""},
        {"A restarts slowly; C with A's USB serial string on another port",
         "device location=1-2 serial=0001 name=A reset_absent_ms=60000" + fresh,
         "device location=1-4 serial=0001 name=C appear_after_ms=3000" + fresh, true, "failed", 6, "\"1001\""},
        {"A lost at a write; C on its port cannot be restarted: A's old values are not C's",
         "device location=1-2 name=A" + fresh + "set led_level 1\nfault 2 unplug\n",
         "device location=1-2 name=C appear_after_ms=3000" + fresh + "fault 10 write_fails\n", true, "failed", 6, "\"\""},
    };
    ForEachCase(std::size(kCases), [&](std::size_t i) {
        const auto& c = kCases[i];
        SimFolder sim(c.a + c.c);
        const std::string list = sim.Write("serials.txt", "1001\n1002\n");
        std::vector<std::string> words = {"restore", "--json", "--timeout", "6", kExample};
        if (c.serials) words.insert(words.end(), {"--serials", list});
        const Result run = sim.Run(words);
        ASSERT_TRUE(json::accept(run.out)) << c.what << ": " << run.out << run.err;
        const json keypad = json::parse(run.out)["keypads"][0];
        EXPECT_EQ(keypad["result"], c.result) << c.what << ": " << keypad["message"];
        EXPECT_EQ(run.status, c.status) << c.what << ": " << keypad["message"];
        EXPECT_EQ(keypad["keypad"]["location"], "1-2") << c.what;
        EXPECT_EQ(sim.State()["A.flash.serial"], c.aFlashSerial) << c.what;
        for (const auto& [key, value] : sim.State()) {
            if (key.rfind("C.ram.", 0) != 0) continue;
            EXPECT_EQ(value, sim.State()["C.flash." + key.substr(6)]) << c.what << ": C's RAM was written: " << key;
        }
        if (!c.serials) return;
        // Its serial stays unknown: the next keypad gets another one.
        const std::string record = sim.Read("serials.txt.taken");
        EXPECT_EQ(record.find("1001\treturned"), std::string::npos) << c.what << ": " << record;
        EXPECT_EQ(record.find("1001\ttaken"), std::string::npos) << c.what << ": " << record;
    });
}

TEST(VelnorRestore, SigintStopsAfterTheCurrentStepAndLeavesTheKeypadAsTheInvariantSays) {
    // The step in progress when the signal comes (the command awaited) is slow to answer.
    const struct { const char* when; std::string faults; const char* awaited; int signal; const char* result; Flash flash; const char* inMessage; } kCases[] = {
        {"writing buzzer_period", "fault 6 delay 700\n", "06", SIGINT, "unchanged-after-failure", Flash::Old,
         "interrupted before writing keypad_table of keypad keypad-1; nothing was written to flash and the keypad was restarted"},
        {"waiting for the restart", "", "0A", SIGINT, "failed", Flash::New, "its flash was written; the result was not checked"},
        {"waiting for the restart after an unanswered flash command", "fault 9 noreply\n", "0A", SIGHUP, "failed",
         Flash::New, "its flash was written; the result was not checked"},
        {"waiting for a keypad lost at a write", "fault 2 unplug 60000\n", "02", SIGINT, "unchanged-after-failure",
         Flash::Old, "interrupted while keypad keypad-1 was away: it starts from its flash when it is back"},
    };
    for (const auto& c : kCases) {
        std::string config = kOldKeypad + c.faults;
        if (std::string(c.awaited) == "0A") config.replace(config.find("reset_absent_ms=100"), 19, "reset_absent_ms=60000");
        SimFolder sim(config);
        Running velnor = sim.Start({"restore", "--json", "--timeout", "120", kExample});
        ASSERT_TRUE(sim.AwaitCommand(c.awaited)) << c.when;
        velnor.Signal(c.signal);
        const Result run = velnor.Wait();
        EXPECT_EQ(run.status, 130) << c.when << ": " << run.out << run.err;
        const json keypad = json::parse(run.out)["keypads"][0];
        EXPECT_EQ(keypad["result"], c.result) << c.when;
        EXPECT_EQ(keypad["status"], 130);
        EXPECT_NE(keypad["message"].get<std::string>().find(c.inMessage), std::string::npos) << keypad["message"];
        EXPECT_EQ(FlashOf(sim), c.flash) << c.when;
    }
}

}  // namespace
}  // namespace velnortest
