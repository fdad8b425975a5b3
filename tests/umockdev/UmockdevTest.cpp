// The installed VelnorUtility and a program on the installed libVelnorApi.so, with the real
// hidapi, against a keypad emulated by umockdev. Runs under umockdev-wrapper; exits with 77
// (skipped) when umockdev cannot run here.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "EmulatedKeypad.h"

extern char** environ;

namespace {

using velnortest::EmulatedKeypad;
using velnortest::KeypadOptions;
using namespace std::chrono_literals;

// A program started with pipes to its standard input and output.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0) environment.emplace_back(*entry);
        }
        std::vector<char*> envp;
        for (std::string& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addchdir_np(&actions, VELNOR_EXAMPLES_DIR);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
            throw std::runtime_error("cannot start " + program);
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Child() {
        if (input_ >= 0) close(input_);
        close(output_);
        if (pid_ > 0) Wait();
    }

    void Tell(const std::string& line) {
        const std::string text = line + "\n";
        if (write(input_, text.data(), text.size()) < 0) throw std::runtime_error("write");
    }
    // Reads until the output holds text (true) or the time is up or the output ended.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (output.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd ready{output_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[4096];
            const ssize_t count = read(output_, buffer, sizeof buffer);
            if (count <= 0) return false;
            output.append(buffer, static_cast<std::size_t>(count));
        }
        return true;
    }
    int Wait() {
        WaitForOutput("\x01never\x01", 60s);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string output;

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

KeypadOptions Keypad(const std::string& firmware) {
    KeypadOptions options;
    options.settings.firmwareName = firmware;
    options.settings.serialNumber = "00000000";
    return options;
}

TEST(UmockdevTest, FullRestoreWithTheResetAndTheReconnect) {
    EmulatedKeypad keypad(Keypad("V6.10"));
    Child utility(VELNOR_INSTALLED_UTILITY, {"-b", "backup-6-keys.txt"});
    EXPECT_EQ(utility.Wait(), 0);
    const std::string& output = utility.output;
    EXPECT_NE(output.find("manufacture Velnor\r\nConnected\r\nVelnor connected Successful in Buzzer  1\r\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find(" Successful in write to flash\r\nvid 8263 pid 2495\r\nvid 2047 pid 9bf \r\n"
                          "manufacture Velnor\r\nConnected\r\nVelnor connected FirmwareName Mode V6.10\r\n"
                          " Serial number 20261206    \r\n Current No Of Keys 6\r\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(keypad.TimesPlugged(), 2) << "the reset unplugged it and it came back as hidraw1";
    EXPECT_EQ(keypad.Received().size(), 10u);
    const velnorsim::KeypadSettings flash = keypad.Flash();
    EXPECT_EQ(flash.ledLevel, 7);
    EXPECT_EQ(flash.buzzerPeriod, 0x32);
    EXPECT_EQ(flash.keyCountOption, 1);
    EXPECT_EQ(flash.serialNumber, "20261206    ");
    EXPECT_EQ(flash.codeTable[15], 0x58);
}

TEST(UmockdevTest, KeyCountMode) {
    EmulatedKeypad keypad(Keypad("V7.03"));
    Child utility(VELNOR_INSTALLED_UTILITY, {"-k", "8", "-n", "12345678"});
    EXPECT_EQ(utility.Wait(), 0);
    EXPECT_NE(utility.output.find(" Current No Of Keys 5\r\n Successful in setting number of keys 8\r\n"
                                  " Successful in setting serial number of keys 12345678\r\n"
                                  " Successful in write to flash\r\n"),
              std::string::npos)
        << utility.output;
    EXPECT_EQ(keypad.Flash().keyCountOption, 2);
    EXPECT_EQ(keypad.Flash().serialNumber, "12345678");
}

TEST(UmockdevTest, AKeypadWithOnlyInterfaceZeroIsListedButNotOpened) {
    KeypadOptions options = Keypad("V6.10");
    options.interfaceOne = false;
    EmulatedKeypad keypad(options);
    Child client(VELNOR_CLIENT, {"open"});
    EXPECT_EQ(client.Wait(), 0);
    EXPECT_NE(client.output.find("client: open 0\n"), std::string::npos) << client.output;
    EXPECT_NE(client.output.find("USB Device: VID 2047, PID 9bf \r\nclient: find 1\n"), std::string::npos) << client.output;
    EXPECT_TRUE(keypad.Received().empty());
}

TEST(UmockdevTest, TheStringsOfTheUsbDeviceReachTheTrace) {
    // hidapi reads the strings from the USB device; in the C locale it gives an empty text for
    // one it cannot convert, and for one that is missing.
    const struct {
        const char* name;
        std::string manufacturer;
        std::string trace;
    } cases[] = {
        {"plain", "Velnor Systems", "manufacture Velnor Systems\r\n"},
        {"beyond ASCII", "Veln\xc3\xb6r", "manufacture \r\n"},
        {"missing", "", "manufacture \r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeypadOptions options = Keypad("V6.10");
        options.manufacturer = c.manufacturer;
        EmulatedKeypad keypad(options);
        Child client(VELNOR_CLIENT, {"open"});
        EXPECT_EQ(client.Wait(), 0);
        EXPECT_NE(client.output.find("vid 2047 pid 9bf \r\n" + c.trace + "Connected\r\n"), std::string::npos)
            << client.output;
        EXPECT_NE(client.output.find("client: status 0 V6.10\n"), std::string::npos) << client.output;
    }
}

TEST(UmockdevTest, UnpluggedAndPluggedInAgainWhileConnected) {
    EmulatedKeypad keypad(Keypad("V6.10"));
    Child client(VELNOR_CLIENT, {"unplug"});
    ASSERT_TRUE(client.WaitForOutput("client: ready\n", 10s)) << client.output;
    EXPECT_NE(client.output.find("client: set 0\n"), std::string::npos);
    keypad.Unplug();
    client.Tell("unplugged");
    ASSERT_TRUE(client.WaitForOutput("client: lost\nclient: ready\n", 10s)) << client.output;
    keypad.Plug();
    client.Tell("plugged");
    EXPECT_EQ(client.Wait(), 0);
    EXPECT_NE(client.output.find("client: back\nclient: set 0\n"), std::string::npos) << client.output;
    EXPECT_EQ(keypad.Ram().ledLevel, 5);
    EXPECT_EQ(keypad.TimesPlugged(), 2);
}

// Two keypads on two ports, one with a USB serial string and one without. The one without is
// reset: it comes back under a new node and is found again by its location, while nothing
// reaches the other one's node.
TEST(UmockdevTest, TwoKeypadsAreListedWithTheirLocationsAndFollowedThroughARestart) {
    KeypadOptions first = Keypad("V7.10");
    first.port = "1-2";
    first.usbSerial = "KP0001";
    first.settings.serialNumber = "11111111";
    KeypadOptions second = Keypad("V7.10");
    second.port = "1-3";
    second.settings.serialNumber = "22222222";
    EmulatedKeypad withSerial(first);
    EmulatedKeypad withoutSerial(second);

    const std::string before = withoutSerial.Node();
    Child list(VELNOR_CLIENT, {"list"});
    EXPECT_EQ(list.Wait(), 0);
    EXPECT_EQ(list.output, "client: list 0\nclient: keypad " + withSerial.Node() + " [KP0001] 1-2\nclient: keypad " +
                               before + " [] 1-3\n");

    Child follow(VELNOR_CLIENT, {"follow", "location", "1-3"});
    EXPECT_EQ(follow.Wait(), 0);
    EXPECT_EQ(withoutSerial.TimesPlugged(), 2);
    EXPECT_NE(withoutSerial.Node(), before);
    EXPECT_EQ(follow.output, "client: open 0\nclient: keypad " + before +
                                 " [] 1-3\nclient: status 0 22222222\nclient: reset 0\nclient: left 0\n"
                                 "client: back 0\nclient: keypad " + withoutSerial.Node() +
                                 " [] 1-3\nclient: status 0 22222222\n");
    EXPECT_TRUE(withSerial.Received().empty());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev-preload") == nullptr) {
        std::fprintf(stderr, "umockdev: not in a umockdev environment (run under umockdev-wrapper); skipped\n");
        return 77;
    }
    try {
        EmulatedKeypad probe(KeypadOptions{});
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "umockdev cannot emulate the keypad here (%s); skipped\n", failure.what());
        return 77;
    }
    return RUN_ALL_TESTS();
}
