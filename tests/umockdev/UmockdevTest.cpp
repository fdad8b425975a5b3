// The installed VelnorUtility and a program on the installed libVelnorApi.so, with the real
// hidapi, against a keypad emulated by umockdev. Runs under umockdev-wrapper; exits with 77
// (skipped) when umockdev cannot run here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "Installed.h"

namespace {

using namespace velnortest;
using namespace std::chrono_literals;

TEST(UmockdevTest, FullRestoreWithTheResetAndTheReconnect) {
    EmulatedKeypad keypad(Keypad("V6.10"));
    const Result utility = Installed({VELNOR_INSTALLED_UTILITY, "-b", "backup-6-keys.txt"}).Wait();
    EXPECT_EQ(utility.status, 0);
    // The status read back after the reconnect (the rest of the output shows in the golden runs).
    EXPECT_NE(utility.out.find("Velnor connected FirmwareName Mode V6.10\r\n Serial number 20261206    \r\n"), std::string::npos)
        << utility.out;
    const EmulatedKeypad::Seen seen = keypad.Now();
    EXPECT_EQ(seen.timesPlugged, 2) << "the reset unplugged it and it came back as hidraw1";
    EXPECT_EQ(seen.reportsReceived, 10u) << "the status query after the reconnect included";
    EXPECT_EQ(seen.flash.serialNumber, "20261206    ");
}

TEST(UmockdevTest, UnpluggedAndPluggedInAgainWhileConnected) {
    EmulatedKeypad keypad(Keypad("V6.10"));
    Running client = Installed({VELNOR_CLIENT, "unplug"});
    ASSERT_TRUE(client.WaitForOutput("client: ready\n", 60s)) << client.Output();
    EXPECT_NE(client.Output().find("client: set 0\n"), std::string::npos);
    keypad.Unplug();
    ASSERT_TRUE(client.WaitForOutput("client: lost\n", 60s)) << client.Output();
    keypad.Plug();
    const Result run = client.Wait();
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("client: back\nclient: set 0\n"), std::string::npos) << run.out;
    EXPECT_EQ(keypad.Now().ram.ledLevel, 5);
    EXPECT_EQ(keypad.Now().timesPlugged, 2);
}

}  // namespace

// Skipped (77) where umockdev cannot run; a failure where VELNOR_REQUIRE_UMOCKDEV=1 says it must.
int Skip(const std::string& reason) {
    const char* required = std::getenv("VELNOR_REQUIRE_UMOCKDEV");
    if (required != nullptr && std::strcmp(required, "1") == 0) {
        std::fprintf(stderr, "umockdev: %s, but VELNOR_REQUIRE_UMOCKDEV=1: failed\n", reason.c_str());
        return 1;
    }
    std::fprintf(stderr, "umockdev: %s; skipped\n", reason.c_str());
    return 77;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev-preload") == nullptr) {
        return Skip("not in a umockdev environment (run under umockdev-wrapper)");
    }
    try {
        EmulatedKeypad probe(Keypad("V6.10"));
    } catch (const std::exception& failure) {
        return Skip(std::string("cannot emulate the keypad here (") + failure.what() + ")");
    }
    return RUN_ALL_TESTS();
}
