// The station: restore --all on many keypads at once, fresh serials from a shared list (also with
// two velnor processes, and with one killed at each step), and the log several processes append
// to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <nlohmann/json.hpp>
#include <set>

#include "support/SimFolder.h"
#include "support/TestSupport.h"

namespace velnortest {
namespace {

using nlohmann::json;

const std::string kExample = std::string(VELNOR_EXAMPLES_DIR) + "/backup-8-keys.txt";

// Keypads kp<first> to kp<last>, named and pathed alike, every one differing from the file.
std::string Keypads(int first, int last, const std::string& extra = "") {
    std::string config;
    for (int i = first; i <= last; ++i) {
        config += "device path=kp" + std::to_string(i) + " name=kp" + std::to_string(i) + " reset_absent_ms=200" + extra +
                  "\nset firmware V7.1\nset serial 0000000" + std::to_string(i) + "\n";
    }
    return config;
}

// serial -> its last state in the record of taken serials.
std::map<std::string, std::string> Record(const std::string& list) {
    std::map<std::string, std::string> states;
    for (const std::string& line : Lines(ReadFile(list + ".taken"))) {
        const std::size_t tab = line.find('\t');
        states[line.substr(0, tab)] = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    }
    return states;
}

TEST(VelnorStation, EightKeypadsOneUnpluggedMidRestoreTheOthersVerifiedNothingWrittenTwice) {
    SimFolder sim(Keypads(1, 4) + "fault 7 unplug\n" + Keypads(5, 8));
    const Result run = sim.Run({"restore", "--all", "--json", "--timeout", "1", kExample});
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_EQ(Lines(run.err).front(), "velnor: warning: 8 keypads would all get serial number 8KEY000012345 of " + kExample +
                                          "; restore --serials LIST gives each its own");
    const json keypads = json::parse(run.out)["keypads"];
    ASSERT_EQ(keypads.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        const bool lost = i == 3;
        EXPECT_EQ(keypads[i]["result"], lost ? "unchanged-after-failure" : "updated") << i << keypads[i]["message"];
        EXPECT_EQ(keypads[i]["status"], lost ? 6 : 0);
        EXPECT_EQ(keypads[i]["changes"].size(), 6u);
        const std::string name = "kp" + std::to_string(i + 1);
        EXPECT_EQ(sim.State()[name + ".flash.serial"], lost ? "\"00000004\"" : "\"8KEY000012345\"") << name;
        for (const std::string& command : sim.CommandsSent(name)) {
            EXPECT_EQ(command == "01" ? 1 : sim.TimesSent(command, name), 1) << name << " was sent command " << command;
        }
    }
}

TEST(VelnorStation, TwoProcessesOnOneListNeverGiveASerialTwiceAndAFailedRestoreReturnsIt) {
    SimFolder shared("");
    const std::string list = shared.Write("serials.txt", "# line 7\n1001\n1002\n\n1003\n1004\n1005\n1006\n1007\n1008\n1009\n");
    SimFolder left(Keypads(1, 4) + "fault 2 nak\n");  // kp4 refuses its LED level
    SimFolder right(Keypads(5, 8));
    Running first = left.Start({"restore", "--all", "--json", "--serials", list, kExample});
    Running second = right.Start({"restore", "--all", "--json", "--serials", list, kExample});
    const Result a = first.Wait();
    const Result b = second.Wait();
    EXPECT_EQ(a.status, 6) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;

    std::set<std::string> held;
    for (const SimFolder* sim : {&left, &right}) {
        for (const auto& [key, value] : sim->State()) {
            if (key.find(".flash.serial") != std::string::npos && value != "\"00000004\"") {
                EXPECT_TRUE(held.insert(value).second) << value << " given twice";
            }
        }
    }
    EXPECT_EQ(held.size(), 7u);
    const std::map<std::string, std::string> record = Record(list);
    int taken = 0;
    int returned = 0;
    for (const auto& [serial, state] : record) {
        taken += state == "taken";
        returned += state == "returned";
        if (state == "taken") {
            EXPECT_EQ(held.count("\"" + serial + "\""), 1u) << serial;
        }
    }
    EXPECT_EQ(taken, 7);
    EXPECT_EQ(returned, 1);
    // The serial returned by the failed keypad is handed out again, before the ones never taken.
    SimFolder again(Keypads(1, 1, " serial=U9"));
    ASSERT_EQ(again.Run({"restore", "--serials", list, kExample}).status, 0);
    std::string serialReturned;
    for (const auto& [serial, state] : record) {
        if (state == "returned") serialReturned = serial;
    }
    EXPECT_EQ(again.State()["kp1.flash.serial"], "\"" + serialReturned + "\"");
    // The keypad that the list gave a serial keeps it and uses up no other; another keypad that
    // holds the same serial gets a fresh one, so that the two never leave with one serial. The
    // record names a keypad by its USB serial string: kp1 is known also at another path.
    std::string holders;
    for (const char* device : {"path=kp1-moved name=kp1 serial=U9", "path=kp2 name=kp2"}) {
        holders += std::string("device ") + device + "\nset firmware V7.1\nset serial " + serialReturned + "\n";
    }
    SimFolder rerun(holders);
    const Result kept = rerun.Run({"restore", "--all", "--json", "--serials", list, kExample});
    EXPECT_EQ(kept.status, 0) << kept.out;
    EXPECT_EQ(rerun.State()["kp1.flash.serial"], "\"" + serialReturned + "\"");
    EXPECT_NE(rerun.State()["kp2.flash.serial"], "\"" + serialReturned + "\"");
    EXPECT_EQ(Record(list)[rerun.State()["kp2.flash.serial"].substr(1, 4)], "taken");
    EXPECT_EQ(Lines(shared.Read("serials.txt.taken")).size(), 16u + 2u + 2u) << "one serial taken by the rerun";
}

// Killed at each step, restore or station leaves the record and the log as --serials and --log
// promise: a serial recorded as taking is unknown from then on (never given again), no log line is
// half there, and the next run, once the keypad answers again, restores it with another serial.
TEST(VelnorStation, AVelnorKilledAtAnyStepNeverGivesASerialTwiceAndLeavesTheOutcomeUnknown) {
    // The step in progress gets no answer, so that velnor is there when killed at the `times`th
    // command awaited; whether the serial was recorded as taking before the kill.
    const struct { const char* step; std::string faults; const char* awaited; int times; bool recorded; const char* command = "restore"; } kCases[] = {
        {"reading the status, before a serial is taken", "fault 1 noreply\n", "01", 1, false},
        {"writing the first setting", "fault 6 noreply\n", "06", 1, true},
        {"writing the serial", "fault 14 noreply\n", "0E", 1, true},
        {"checking the RAM", "fault 1 noreply\nfault 1 none 0 1\n", "01", 2, true},
        {"writing to flash", "fault 9 noreply\n", "09", 1, true},
        {"restarting (it restarts without answering)", "fault 10 noreply\n", "0A", 1, true},
        {"waiting for the restart", "", "0A", 1, true},
        {"reading back", "fault 1 noreply\nfault 1 none 0 2\n", "01", 3, true},
        {"a station writing the first setting", "fault 6 noreply\n", "06", 1, true, "station"},
        {"a station waiting for the restart", "", "0A", 1, true, "station"},
    };
    for (const auto& c : kCases) {
        const std::string away = std::string(c.awaited) == "0A" ? " reset_absent_ms=60000" : "";  // until killed
        SimFolder sim(Keypads(1, 1, away) + c.faults);
        const std::string list = sim.Write("serials.txt", "2001\n2002\n");
        std::vector<std::string> words{c.command, "--serials", list, "--log", sim.Path("log"), kExample};
        const bool station = std::string(c.command) == "station";
        words.insert(words.begin() + 1, {station ? "--once" : "--timeout", station ? "1" : "60"});
        Running velnor = sim.Start(words);
        ASSERT_TRUE(sim.AwaitCommand(c.awaited, c.times)) << c.step;
        velnor.Signal(SIGKILL);
        EXPECT_EQ(velnor.Wait().status, 128 + SIGKILL);
        using States = std::map<std::string, std::string>;
        EXPECT_EQ(Record(list), (c.recorded ? States{{"2001", "taking"}} : States{})) << c.step;
        EXPECT_EQ(sim.Read("log"), "") << c.step;
        const json unknown = json::parse(sim.Run({"serials", list, "--json"}).out)["unknown"];
        EXPECT_EQ(unknown.size() == 1 && unknown[0]["serial"] == "2001", c.recorded) << c.step << unknown;

        std::string config = sim.Read("keypad.conf");  // the keypad answers again, and restarts as others do
        for (const std::string& cut : {c.faults, away}) config.erase(config.find(cut), cut.size());
        sim.Write("keypad.conf", config);
        const Result after = sim.Run(words);
        EXPECT_EQ(after.status, 0) << c.step << after.err;
        EXPECT_EQ(sim.State()["kp1.flash.serial"], c.recorded ? "\"2002\"" : "\"2001\"") << c.step;
        EXPECT_EQ(after.err.find("warning: 1 serial (2001) with an unknown outcome") != std::string::npos, c.recorded) << after.err;
        EXPECT_EQ(Record(list), (c.recorded ? States{{"2001", "taking"}, {"2002", "taken"}} : States{{"2001", "taken"}})) << c.step;
        const std::vector<std::string> logged = Lines(sim.Read("log"));
        EXPECT_TRUE(logged.size() == 1 && json::parse(logged[0])["result"] == "updated") << c.step << sim.Read("log");
    }
}

TEST(VelnorStation, SerialsGoInPortOrderWhateverOrderTheKeypadsAnswerInAndAShortListWritesNothing) {
    // Listed in another order than their ports': 1-2.9 (b), 1-2.10 (a), 1-3 (c).
    const auto tray = [](const std::vector<int>& delays) {
        std::string config;
        const char* const kKeypads[][2] = {{"c", "1-3"}, {"a", "1-2.10"}, {"b", "1-2.9"}};
        for (std::size_t i = 0; i < 3; ++i) {
            config += std::string("device name=") + kKeypads[i][0] + " location=" + kKeypads[i][1] +
                      " reset_absent_ms=200 reply_delay_ms=" + std::to_string(delays[i]) + "\nset firmware V7.1\nset serial 0000000" + std::to_string(i) + "\n";
        }
        return SimFolder(config);
    };
    std::vector<int> delays{0, 30, 60};
    do {
        const SimFolder sim = tray(delays);
        const std::string list = sim.Write("serials.txt", "7001\n7002\n7003\n");
        const Result run = sim.Run({"restore", "--all", "--serials", list, kExample});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::map<std::string, std::string> state = sim.State();
        EXPECT_EQ(std::vector<std::string>({state.at("b.flash.serial"), state.at("a.flash.serial"), state.at("c.flash.serial")}),
                  std::vector<std::string>({"\"7001\"", "\"7002\"", "\"7003\""}))
            << "delays " << delays[0] << " " << delays[1] << " " << delays[2];
    } while (std::next_permutation(delays.begin(), delays.end()));

    const SimFolder sim = tray({0, 0, 0});
    const std::string list = sim.Write("serials.txt", "7001\n7002\n");
    const Result run = sim.Run({"restore", "--all", "--json", "--serials", list, kExample});
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(json::parse(run.out)["error"]["message"],
              "the serial list " + list + " has 2 free serial numbers for the 3 keypads that need one: 1 missing; nothing was written");
    for (const std::string& command : sim.CommandsSent()) EXPECT_EQ(command, "01");
    EXPECT_EQ(sim.State()["a.flash.serial"], "\"00000001\"");
    EXPECT_EQ(sim.Read("serials.txt.taken"), "");
}

TEST(VelnorStation, SerialsLeftUnknownAreSettledByTheAttachedKeypadThatHoldsThemOrReturnedOnTheOperatorsWord) {
    const SimFolder holder("device path=kp1 name=kp1 serial=U1\nset firmware V7.1\nset serial 6001\n");
    const SimFolder none("");
    const std::string list = holder.Write("serials.txt", "6001\n6002\n6003\n6004\n");
    // As a velnor killed while writing three keypads leaves the record.
    const pid_t killed = fork();
    if (killed == 0) _exit(0);
    waitpid(killed, nullptr, 0);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string writer = std::string(host) + ":" + std::to_string(killed);
    holder.Write("serials.txt.taken", "6001\ttaking\tT1\t" + writer + "\tU1\n6002\ttaking\tT2\t" + writer + "\tkp\tat desk 2\n" +
                                          "6003\ttaking\tT3\t" + writer + "\tU3\n");
    const struct {
        const SimFolder* where;
        std::vector<std::string> words;  // after serials LIST
        int status;
        std::string inOut;
        const char* record;  // each serial's last state after
    } kSteps[] = {
        {&holder, {}, 0, "  kp at desk 2\n6003 ",
         "6001 taking, 6002 taking, 6003 taking"},
        {&none, {"--resolve", "--json"}, 0, R"("settled":[])", "6001 taking, 6002 taking, 6003 taking"},
        {&holder, {"--resolve", "--json"}, 0, R"("settled":[{"serial":"6001","state":"taken")", "6001 taken, 6002 taking, 6003 taking"},
        {&none, {"--return", "6002", "6003", "--json"}, 0,
         R"("counts":{"free":1,"returned":2,"taken":1,"taking":0,"unknown":0},"unknown":[],"settled":[{"serial":"6002","state":"returned")",
         "6001 taken, 6002 returned, 6003 returned"},
    };
    for (const auto& step : kSteps) {
        std::vector<std::string> words{"serials", list};
        words.insert(words.end(), step.words.begin(), step.words.end());
        const Result run = step.where->Run(words);
        EXPECT_EQ(run.status, step.status) << step.inOut << run.err;
        EXPECT_NE(run.out.find(step.inOut), std::string::npos) << run.out;
        std::string record;
        for (const auto& [serial, state] : Record(list)) record += (record.empty() ? "" : ", ") + serial + " " + state;
        EXPECT_EQ(record, step.record) << step.inOut;
    }
}

// The fields of a line are locked in JsonTest and json.schemas (which reads the log as the last
// run left it); here, whole lines from several processes.
TEST(VelnorStation, TwoProcessesAppendingToOneLogWriteWholeLinesOfJson) {
    SimFolder left(Keypads(1, 8));
    SimFolder right(Keypads(1, 8));
    const std::string log = left.Path("station.log");
    Running first = left.Start({"restore", "--all", "--log", log, kExample});
    Running second = right.Start({"restore", "--all", "--dry-run", "--log", log, kExample});
    EXPECT_EQ(first.Wait().status, 0);
    EXPECT_EQ(second.Wait().status, 0);
    // The next run finds the keypads as the restore left them.
    EXPECT_EQ(left.Run({"verify", "--all", "--log", log, kExample}).status, 0);
    const std::vector<std::string> lines = Lines(left.Read("station.log"));
    ASSERT_EQ(lines.size(), 24u);
    std::map<std::string, int> results;
    for (const std::string& line : lines) {
        const json entry = json::parse(line);
        EXPECT_EQ(entry["file_sha256"].get<std::string>().size(), 64u);
        ++results[entry["command"].get<std::string>() + " " + entry["result"].get<std::string>()];
    }
    EXPECT_EQ(results, (std::map<std::string, int>{{"restore updated", 8}, {"restore planned", 8}, {"verify equal", 8}}));
}

TEST(VelnorStation, AStationFileThatWouldBlockIsRefusedOrWaitedForUntilASignal) {
    // The words ("@" stands for the test's folder); what serials.txt.taken is made a symbolic link
    // to ("" none); whether this test holds its lock; the signal sent once velnor waits (0: none);
    // the status, a text of the message, and whether a keypad was sent something.
    const struct { const char* what; std::vector<std::string> words; const char* taken; bool held; int signal; int status;
                   std::string inMessage; bool sent; } kCases[] = {
        {"a backup pipe that no process writes", {"@/pipe"}, "", false, SIGINT, 130,
         "interrupted while waiting for @/pipe to be written; nothing was written to a keypad", false},
        {"a record that another process locks", {"--serials", "@/serials.txt", kExample}, "", true, SIGTERM, 130,
         "interrupted while waiting for the lock of @/serials.txt.taken, held by process " + std::to_string(getpid()) +
             " (cli_run_tests); nothing was written", true},
        {"a list that is a pipe", {"--serials", "@/pipe", kExample}, "", false, 0, 7, "the serial list @/pipe is not a regular file", false},
        {"a record that is /dev/full", {"--serials", "@/serials.txt", kExample}, "/dev/full", false, 0, 7,
         "the record of taken serials @/serials.txt.taken is not a regular file", false},
        {"a dry run on a record that cannot be read", {"--dry-run", "--serials", "@/serials.txt", kExample}, "/proc/self/mem", false,
         0, 7, "cannot read the record of taken serials @/serials.txt.taken: Input/output error", true},
        {"a log pipe that no process reads", {"--log", "@/pipe", kExample}, "", false, 0, 7,
         "cannot append to the log @/pipe: a pipe that no process reads", false},
        {"a log that is /dev/null (no fsync)", {"--log", "/dev/null", kExample}, "", false, 0, 0, "keypad kp1 holds", true},
        {"a log pipe that a process reads", {"--log", "@/read-pipe", kExample}, "", false, 0, 0, "keypad kp1 holds", true},
    };
    for (const auto& c : kCases) {
        SimFolder sim(Keypads(1, 1));
        std::string folder = sim.Path("");
        folder.pop_back();
        const auto here = [&folder](std::string text) {
            for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, folder);
            return text;
        };
        sim.Write("serials.txt", "3001\n");
        for (const char* pipe : {"pipe", "read-pipe"}) mkfifo(sim.Path(pipe).c_str(), 0600);
        if (*c.taken != '\0') symlink(c.taken, sim.Path("serials.txt.taken").c_str());
        const int reader = open(sim.Path("read-pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const int record = open(sim.Path("serials.txt.taken").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (c.held) flock(record, LOCK_EX);
        std::vector<std::string> words{"restore", "--json"};
        for (const std::string& word : c.words) words.push_back(here(word));
        Running velnor = sim.Start(words);
        int writer = -1;
        if (c.signal != 0) {
            // Waiting for the backup pipe: it has a reader. Waiting for the lock: the status was read.
            ASSERT_TRUE(c.held ? sim.AwaitCommand("01") : WaitUntil([&] {
                return (writer = open(sim.Path("pipe").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0;
            })) << c.what;
            velnor.Signal(c.signal);
        }
        const bool ended = velnor.WaitForOutput("}\n", std::chrono::seconds(5));
        if (!ended) velnor.Signal(SIGKILL);
        const Result run = velnor.Wait();
        EXPECT_TRUE(ended) << c.what << ": still waiting 5 s after the signal";
        EXPECT_EQ(run.status, c.status) << c.what << run.err;
        EXPECT_NE(run.out.find(here(c.inMessage)), std::string::npos) << c.what << run.out;
        EXPECT_EQ(!sim.CommandsSent().empty(), c.sent) << c.what;
        char logged[4096] = {};
        const bool read = ::read(reader, logged, sizeof logged - 1) > 0;
        EXPECT_EQ(read, std::find(c.words.begin(), c.words.end(), "@/read-pipe") != c.words.end()) << c.what;
        EXPECT_EQ(read, std::string(logged).find("\"command\":\"restore\"") != std::string::npos) << logged;
        for (const int fd : {reader, record, writer}) close(fd);
    }
}

// velnor station --json: its events, one a line (the schema check validates each).
std::vector<json> Events(const std::string& out) {
    std::vector<json> events;
    for (const std::string& line : Lines(out)) events.push_back(json::parse(line));
    return events;
}

std::string Kinds(const std::vector<json>& events) {
    std::string kinds;
    for (const json& event : events) kinds += (kinds.empty() ? "" : " ") + event["event"].get<std::string>();
    return kinds;
}

// A finished event as "USB-SERIAL RESULT SERIAL", the serial as JSON (null: unknown).
std::string Outcome(const json& event) {
    return event["keypad"]["usb_serial"].get<std::string>() + " " + event["result"].get<std::string>() + " " + event["serial"].dump();
}

TEST(VelnorStation, AStationRestoresKeypadsPluggedInLaterInPortOrderOnItsPortsOnlyAndOnceEach) {
    // b and c appear together after the start; x sits on a port the station does not serve.
    SimFolder sim("device name=c location=1-3 serial=UC appear_after_ms=1000 reset_absent_ms=200\nset serial 00000003\n"
                  "device name=b location=1-2.9 serial=UB appear_after_ms=1000 reset_absent_ms=200\nset serial 00000002\n"
                  "device name=x location=1-4 serial=UX\nset serial 00000009\n");
    const std::string list = sim.Write("serials.txt", "9001\n9002\n9003\n");
    const std::vector<std::string> words{"station", "--once", "2", "--ports", "1-2.9,1-3", "--serials", list, kExample};
    std::vector<std::string> withJson = words;
    withJson.insert(withJson.begin() + 1, "--json");
    const Result run = sim.Run(withJson);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<json> events = Events(run.out);
    EXPECT_EQ(Kinds(events), "attached attached started started finished finished") << run.out;
    std::map<std::string, std::string> serials;
    for (const json& event : events) {
        if (event["event"] == "finished") serials[event["keypad"]["location"]] = event["serial"];
    }
    EXPECT_EQ(serials, (std::map<std::string, std::string>{{"1-2.9", "9001"}, {"1-3", "9002"}}));
    EXPECT_EQ(sim.State()["b.flash.serial"], "\"9001\"");
    EXPECT_EQ(sim.State()["c.flash.serial"], "\"9002\"");
    EXPECT_TRUE(sim.CommandsSent("x").empty());
    // Each write once a keypad; then its LED blinks the good pattern (3 times dark and lit, and
    // set back), in RAM only: the flash command stays one a keypad.
    for (const std::string& command : sim.CommandsSent()) {
        const long expected = command == "02" ? 2 * (1 + 3 * 2 + 1) : 2;
        EXPECT_EQ(command == "01" ? 2 : sim.TimesSent(command), expected) << "command " << command;
    }
    // Plugged in again, they hold the file and their serials: nothing written, no serial taken.
    const std::string record = sim.Read("serials.txt.taken");
    const std::size_t sent = sim.Reports().size();
    std::vector<std::string> quiet = words;
    quiet.insert(quiet.begin() + 1, "--no-feedback");
    const Result again = sim.Run(quiet);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("1-2.9  up-to-date  9001  "), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("\nupdated 0, up to date 2, failed 0; 2 keypads in "), std::string::npos) << again.out;
    EXPECT_EQ(sim.Read("serials.txt.taken"), record);
    const std::vector<std::string> commands = sim.CommandsSent();
    EXPECT_EQ(std::count(commands.begin() + static_cast<long>(sent), commands.end(), "01"), static_cast<long>(commands.size() - sent));
}

TEST(VelnorStation, AKeypadLostMidRestoreIsReportedAndRestoredWhenItComesBackAndASignalLetsTheOneInProgressFinish) {
    // Back after its restore gave up on it, or while its restore waited for it: left either way.
    for (const auto& [gone, timeout] : {std::pair{"1500", "300"}, std::pair{"500", "3000"}}) {
        SimFolder sim(std::string("device path=kp1 name=kp1 serial=U1 reset_absent_ms=200\nset serial 00000001\nfault 7 unplug ") + gone + " 1");
        const std::string list = sim.Write("serials.txt", "9001\n9002\n");
        const Result run = sim.Run({"station", "--json", "--once", "2", "--timeout", timeout, "--serials", list, kExample});
        EXPECT_EQ(run.status, 6) << run.err;
        const std::vector<json> events = Events(run.out);
        ASSERT_EQ(Kinds(events), "attached started finished left attached started finished") << gone << run.out;
        EXPECT_EQ(Outcome(events[2]) + ", " + Outcome(events[6]), R"(U1 unchanged-after-failure "00000001", U1 updated "9001")")
            << "the serial returned by the failure is given again";
        EXPECT_EQ(Record(list), (std::map<std::string, std::string>{{"9001", "taken"}}));
    }

    // Pulled during its restart while another keypad is plugged into its port: the other one is a
    // keypad that appeared, never taken for the first; the first's serial stays unknown.
    SimFolder swap("device name=a location=1-2 serial=UA reset_absent_ms=60000\nset serial 00000001\n"
                   "device name=b location=1-2 serial=UB appear_after_ms=700 reset_absent_ms=200\nset serial 00000002\n");
    const std::string swapList = swap.Write("serials.txt", "9001\n9002\n");
    const std::vector<json> swapped =
        Events(swap.Run({"station", "--json", "--once", "2", "--timeout", "2000", "--no-feedback", "--serials", swapList, kExample}).out);
    ASSERT_EQ(Kinds(swapped), "attached started attached started finished finished");
    EXPECT_EQ(Outcome(swapped[4]) + ", " + Outcome(swapped[5]), R"(UB updated "9002", UA failed null)") << "A's serial unknown, as the record has it";
    EXPECT_EQ(swap.State()["b.flash.serial"], "\"9002\"");
    EXPECT_EQ(Record(swapList), (std::map<std::string, std::string>{{"9001", "taking"}, {"9002", "taken"}}));

    // Too few serials for a tray: nothing written, and each keypad still shows its failure.
    SimFolder tray(Keypads(1, 2));
    EXPECT_EQ(tray.Run({"station", "--once", "2", "--serials", tray.Write("serials.txt", "9001\n"), kExample}).status, 7);
    std::vector<std::string> blinked(2 * 8 + 4, "02");  // its status read, then read again, 8 blinks, set back, read
    blinked[0] = blinked[1] = blinked.back() = "01";
    for (const char* name : {"kp1", "kp2"}) EXPECT_EQ(tray.CommandsSent(name), blinked) << name;

    // SIGINT while the keypad restarts: it is finished, then the summary; nothing else is started.
    SimFolder slow(Keypads(1, 1, " reset_absent_ms=1000"));
    Running station = slow.Start({"station", kExample});
    ASSERT_TRUE(slow.AwaitCommand("0A"));
    station.Signal(SIGINT);
    const Result stopped = station.Wait();
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_EQ(stopped.out.rfind("kp1  updated  8KEY000012345  ", 0), 0u) << stopped.out;
    EXPECT_NE(stopped.out.find("\nupdated 1, up to date 0, failed 0; 1 keypad in "), std::string::npos) << stopped.out;
}

}  // namespace
}  // namespace velnortest
