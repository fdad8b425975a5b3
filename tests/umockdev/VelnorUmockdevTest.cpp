// The installed velnor with the real hidapi, against keypads that umockdev emulates at the
// kernel's boundary: locations read from sysfs, and doctor run as a user who cannot open the
// node. Runs under umockdev-wrapper; exits with 77 (skipped) where umockdev cannot run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "Installed.h"
#include "support/TestSupport.h"

namespace {

using nlohmann::json;
using namespace velnortest;

constexpr uid_t kNobody = 65534;

// The installed velnor, as root or as another user (0: as this process is).
Result Velnor(std::vector<std::string> words, uid_t user = 0) {
    words.insert(words.begin(), VELNOR_INSTALLED);
    return Installed(words, user).Wait();
}

// Two keypads on two ports, one with a USB serial string and one without: listed, the one
// without chosen by its location, and nothing sent to the other. (Following a keypad through
// its restart under a new node is the restore's, below.)
TEST(VelnorUmockdev, ListShowsTheSysfsLocationsAndStatusAndDoctorUseThem) {
    EmulatedKeypad first(Keypad("V7.10", "1-2", L"KP0001", "11111111"));
    EmulatedKeypad second(Keypad("V7.10", "1-3", std::nullopt, "22222222"));

    const Result listed = Velnor({"list", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const json keypads = json::parse(listed.out)["keypads"];
    ASSERT_EQ(keypads.size(), 2u) << listed.out;
    EXPECT_EQ(keypads[0]["path"], first.Node());
    EXPECT_EQ(keypads[0]["location"], "1-2");
    EXPECT_EQ(keypads[0]["usb_serial"], "KP0001");
    EXPECT_EQ(keypads[1]["location"], "1-3");
    EXPECT_TRUE(first.Now().reportsReceived == 0 && second.Now().reportsReceived == 0);  // list opens none

    const Result status = Velnor({"status", "--json", "--location", "1-3"});
    ASSERT_EQ(status.status, 0) << status.err;
    EXPECT_EQ(json::parse(status.out)["keypads"][0]["settings"]["serial"], "22222222");
    EXPECT_TRUE(first.Now().reportsReceived == 0);

    const Result refused = Velnor({"status"});
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.err.find("location 1-3"), std::string::npos) << refused.err;

    const Result doctor = Velnor({"doctor", "--json"});
    EXPECT_EQ(doctor.status, 0) << doctor.out;
    const json nodes = json::parse(doctor.out)["nodes"];
    ASSERT_EQ(nodes.size(), 2u) << doctor.out;
    EXPECT_EQ(nodes[1]["location"], "1-3");
    EXPECT_TRUE(nodes[1]["usable"]);
}

TEST(VelnorUmockdev, DoctorRunAsAUserWhoCannotOpenTheNodeReportsThePermissionProblem) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to run velnor as another user";
    EmulatedKeypad keypad(Keypad("V7.10", "1-4", std::nullopt, "44444444"));
    // The emulation itself (the test bed's folder and the sockets through which its preload
    // library carries ioctls) is opened to the other user; the node, a pty, stays root's, 0600.
    const char* bed = std::getenv("UMOCKDEV_DIR");
    ASSERT_NE(bed, nullptr);
    namespace fs = std::filesystem;
    fs::permissions(bed, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(std::string(bed) + "/ioctl")) {
        fs::permissions(entry.path(), fs::perms::all);
    }

    const Result doctor = Velnor({"doctor"}, kNobody);
    EXPECT_EQ(doctor.status, 5) << doctor.out << doctor.err;
    EXPECT_NE(doctor.out.find(keypad.Node() + "  1-4  NOT usable: owner root"), std::string::npos) << doctor.out;
    EXPECT_NE(doctor.out.find("sudo udevadm control --reload-rules && sudo udevadm trigger"), std::string::npos);
    EXPECT_NE(doctor.err.find("permission denied on " + keypad.Node()), std::string::npos) << doctor.err;

    const Result status = Velnor({"status", "--json"}, kNobody);
    EXPECT_EQ(status.status, 5) << status.out << status.err;
    EXPECT_EQ(json::parse(status.out)["keypads"][0]["error"]["status"], 5);
    EXPECT_TRUE(keypad.Now().reportsReceived == 0);
}

TEST(VelnorUmockdev, RestoreAllFollowsEachKeypadThroughItsRestartUnderANewNodeAndVerifiesIt) {
    EmulatedKeypad first(Keypad("V7.10", "1-6", L"KP0006", "11111111"));
    EmulatedKeypad second(Keypad("V7.10", "1-7", std::nullopt, "22222222"));
    const std::string before = second.Node();
    const std::string file = std::string(VELNOR_EXAMPLES_DIR) + "/backup-8-keys.txt";
    const Result restore = Velnor({"restore", "--all", "--json", file});
    ASSERT_EQ(restore.status, 0) << restore.out << restore.err;
    const json keypads = json::parse(restore.out)["keypads"];
    ASSERT_EQ(keypads.size(), 2u);
    for (const json& keypad : keypads) EXPECT_EQ(keypad["result"], "updated") << keypad["message"];
    EXPECT_NE(keypads[1]["keypad"]["path"], before) << "reported under its new node";
    EXPECT_EQ(keypads[1]["keypad"]["path"], second.Node());
    for (const EmulatedKeypad* keypad : {&first, &second}) {
        EXPECT_EQ(keypad->Now().timesPlugged, 2) << "the reset unplugged it and it came back";
        EXPECT_EQ(keypad->Now().flash.serialNumber, "8KEY000012345");
        EXPECT_EQ(keypad->Now().flash.keyCountOption, 2);
    }
    const Result again = Velnor({"restore", "--all", "--json", file});
    EXPECT_EQ(json::parse(again.out)["keypads"][1]["result"], "up-to-date") << again.out << again.err;
    EXPECT_EQ(second.Now().timesPlugged, 2);
}

// The station's events of this kind in its output.
std::vector<json> Events(const std::string& out, const std::string& kind) {
    std::vector<json> events;
    for (const std::string& line : Lines(out)) {
        if (json::accept(line) && json::parse(line)["event"] == kind) events.push_back(json::parse(line));
    }
    return events;
}

// Reads the station's output until it holds `count` events of this kind.
bool AwaitEvents(Running& station, const std::string& kind, std::size_t count) {
    return WaitUntil([&] {
        station.WaitForOutput("\n\n", std::chrono::milliseconds(50));  // never there: reads what came meanwhile
        return Events(station.Output(), kind).size() >= count;
    });
}
// The station hears the uevents: A attached at its start, B plugged in while A is restored, each
// restored once however it re-enumerates through its restart, and A unplugged and plugged in
// again noticed leaving and coming back (holding the file then: nothing written).
TEST(VelnorUmockdev, StationRestoresKeypadsAsTheirUeventsComeAndStartsNoneTwiceThroughItsRestart) {
    const TempFolder folder;
    const std::string list = folder.Write("serials.txt", "5001\n5002\n5003\n");
    EmulatedKeypad a(Keypad("V7.10", "1-8", std::nullopt, "11111111"));
    Running station = Installed({VELNOR_INSTALLED, "station", "--json", "--no-feedback", "--once", "3", "--serials", list,
                                 std::string(VELNOR_EXAMPLES_DIR) + "/backup-8-keys.txt"});
    ASSERT_TRUE(AwaitEvents(station, "started", 1)) << station.Output();
    EmulatedKeypad b(Keypad("V7.10", "1-9", L"KP0009", "22222222"));
    ASSERT_TRUE(AwaitEvents(station, "finished", 2)) << station.Output();
    a.Unplug();
    ASSERT_TRUE(AwaitEvents(station, "left", 1)) << station.Output();
    a.Plug();
    const Result run = station.Wait();
    EXPECT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_EQ(run.err, "") << "no note that it looks every 500 ms: the uevents woke it";
    for (const char* kind : {"attached", "started"}) EXPECT_EQ(Events(run.out, kind).size(), 3u) << run.out;
    EXPECT_EQ(Events(run.out, "left").size(), 1u) << run.out;
    std::multiset<std::string> finished;
    for (const json& event : Events(run.out, "finished")) {
        finished.insert(event["keypad"]["location"].get<std::string>() + " " + event["result"].get<std::string>() + " " +
                        event["serial"].get<std::string>());
    }
    EXPECT_EQ(finished, (std::multiset<std::string>{"1-8 updated 5001", "1-9 updated 5002", "1-8 up-to-date 5001"})) << run.out;
    EXPECT_EQ(a.Now().timesPlugged, 3) << "plugged, back after its restart, plugged in again";
    EXPECT_EQ(b.Now().timesPlugged, 2);
    EXPECT_EQ(b.Now().flash.keyCountOption, 2);
}

}  // namespace
