// Which keypads a command means, and which ones a station starts.
#include <gtest/gtest.h>

#include "Selection.h"
#include "station/StationRun.h"

namespace velnorcli {
namespace {

const std::vector<KEYPAD_ENTRY> kAttached{
    {"/dev/hidraw1", "A1", "Velnor", "Keypad", "1-1"},
    {"/dev/hidraw2", "", "Velnor", "Keypad", "1-2.3"},
    {"/dev/hidraw3", "A1", "Velnor", "Keypad", "1-4"},
};

TEST(Selection, ChoosesByEachSelectorAndRefusesNoneOrSeveral) {
    const std::vector<SerialReading> serials{{"12345678    ", {}}, {"87654321", {}}, {std::nullopt, {kNoAnswer, "did not answer"}}};
    const struct {
        const char* what;
        std::vector<KEYPAD_ENTRY> attached;
        Selector selector;
        std::vector<std::size_t> chosen;
        int status;
    } kCases[] = {
        {"nothing attached", {}, {}, {}, kNoKeypad},
        {"nothing attached, --all", {}, {SelectBy::None, "", true}, {}, kNoKeypad},
        {"the one attached", {kAttached[1]}, {}, {0}, kDone},
        {"several attached", kAttached, {}, {}, kSeveralKeypads},
        {"--all", kAttached, {SelectBy::None, "", true}, {0, 1, 2}, kDone},
        {"--path", kAttached, {SelectBy::Path, "/dev/hidraw2"}, {1}, kDone},
        {"--path of none", kAttached, {SelectBy::Path, "/dev/hidraw9"}, {}, kNoKeypad},
        {"--location", kAttached, {SelectBy::Location, "1-4"}, {2}, kDone},
        {"--location is not a prefix", kAttached, {SelectBy::Location, "1"}, {}, kNoKeypad},
        {"--usb-serial shared by two", kAttached, {SelectBy::UsbSerial, "A1"}, {}, kSeveralKeypads},
        {"an empty --usb-serial selects nothing", kAttached, {SelectBy::UsbSerial, ""}, {}, kUsage},
        {"--serial, trailing blanks ignored", kAttached, {SelectBy::Serial, "12345678"}, {0}, kDone},
        {"--serial given with blanks", kAttached, {SelectBy::Serial, "87654321  "}, {1}, kDone},
        {"--serial of none, one unread", kAttached, {SelectBy::Serial, "0"}, {}, kNoAnswer},
    };
    for (const auto& c : kCases) {
        const auto chosen = Choose(c.attached, c.selector, serials);
        EXPECT_EQ(chosen ? *chosen : std::vector<std::size_t>{}, c.chosen) << c.what;
        EXPECT_EQ(chosen ? kDone : chosen.failure().status, c.status) << c.what;
    }
}

TEST(Selection, RefusingSeveralListsThemAndNamesTheOptions) {
    const Failure several = Choose(kAttached, {SelectBy::UsbSerial, "A1"}).failure();
    EXPECT_EQ(several.message, "several keypads match --usb-serial A1:\n"
                               "  /dev/hidraw1  location 1-1  usb serial A1\n"
                               "  /dev/hidraw3  location 1-4  usb serial A1");
    EXPECT_EQ(several.hint, "choose one with --location 1-1 or --location 1-4 (--usb-serial and --serial select too)");
    EXPECT_EQ(Choose({kAttached[0], {"/dev/hidraw5", "", "", "", ""}}, {}).failure().hint,
              "choose one with --location 1-1 or --path /dev/hidraw5 (--usb-serial and --serial select too)");
}

// Listed out of port order; hidraw1 and hidraw3 share a USB serial string, hidraw2 has none.
TEST(Selection, AStationStartsKeypadsNotSeenInPortOrderAndForgetsEndedOnesThatLeft) {
    using P = Phase;
    const std::vector<KEYPAD_ENTRY> listed{kAttached[2], kAttached[1], {"/dev/hidraw7", "B2", "", "", "1-3"}};
    const struct {
        const char* what;
        std::map<std::string, Phase> tracked;
        std::vector<std::string> ports;
        bool starting;
        std::vector<std::size_t> start;
        std::vector<std::string> left;
    } kCases[] = {
        {"every one new, in port order", {}, {}, true, {1, 2, 0}, {}},
        {"in progress (back under a new node) or done", {{"A1", P::InProgress}, {"1-2.3", P::Done}}, {}, true, {2}, {}},
        {"ended and gone: left; in progress and gone: kept", {{"C3", P::Done}, {"D4", P::InProgress}}, {}, true, {1, 2, 0}, {"C3"}},
        {"--ports", {}, {"1-3", "1-4"}, true, {2, 0}, {}},
        {"a done keypad off --ports is not there", {{"1-2.3", P::Done}}, {"1-3"}, true, {2}, {"1-2.3"}},
        {"stopping: none started, leaving still told", {{"C3", P::Done}}, {}, false, {}, {"C3"}},
    };
    for (const auto& c : kCases) {
        const Look look = LookAt(listed, c.tracked, c.ports, c.starting);
        EXPECT_EQ(look.start, c.start) << c.what;
        EXPECT_EQ(look.left, c.left) << c.what;
    }
    EXPECT_EQ(LookAt({kAttached[0], kAttached[2]}, {}, {}, true).start, std::vector<std::size_t>{0}) << "one identity, started once";
    EXPECT_TRUE(LookAt({{"/dev/hidraw9", "", "", "", ""}}, {}, {}, true).start.empty()) << "a node listed while it went away";
}

}  // namespace
}  // namespace velnorcli
