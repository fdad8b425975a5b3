// The keypad's own feedback on the simulated keypad: it blinks with LED level writes alone, never
// writes flash, and ends with RAM checked against flash; a keypad lost mid-blink is a failure.
#include <gtest/gtest.h>

#include <algorithm>

#include "Keypad.h"
#include "station/Feedback.h"
#include "support/Hex.h"
#include "velnor_sim/SimControl.h"

namespace {

using namespace velnorcli;

TEST(Feedback, BlinksWithLedWritesAloneAndChecksRamAgainstFlash) {
    struct Case {
        Shown shown;
        bool ramDiffers;  // the buzzer in its RAM is not the one its flash is said to hold
        bool unplugged;   // the keypad is pulled out at the first LED command
        const char* failure;  // in the message; nullptr: no failure
    };
    for (const Case& c : {Case{Shown::Good, false, false, nullptr}, Case{Shown::Failed, false, false, nullptr},
                          Case{Shown::Failed, true, false, "buzzer"}, Case{Shown::Failed, false, true, "blinking its LED"}}) {
        velnorsim::RemoveAllDevices();
        velnorsim::DeviceSetup setup;
        setup.settings.ledLevel = 7;
        setup.settings.firmwareName = "V6.10";
        const velnorsim::DeviceId id = velnorsim::AddDevice(setup);
        std::vector<KEYPAD_ENTRY> keypads;
        ASSERT_TRUE(PlixoApi::ListKeypads(8263, 2495, &keypads) == 0 && keypads.size() == 1);
        Keypad reader(keypads[0]);
        ASSERT_TRUE(reader.Open() && reader.ReadStatus());
        Settings flash = SettingsOfKeypad(*reader.ReadStatus());
        flash.buzzer = c.ramDiffers ? 1 : flash.buzzer;
        if (c.unplugged) velnorsim::SetFault(id, 2, {velnorsim::FaultKind::Unplug, 0, 1});
        velnorsim::ClearOutputReports(id);

        const Done shown = ShowResult(keypads[0], c.shown, flash, nullptr);

        const std::vector<std::string> sent = velnortest::CommandsOf(velnorsim::OutputReports(id));
        // No flash command, nor any other: LED level writes and status reads alone.
        EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const std::string& s) { return s == "01" || s == "02"; }));
        if (c.failure != nullptr) {
            ASSERT_FALSE(shown);
            EXPECT_NE(shown.failure().message.find(c.failure), std::string::npos) << shown.failure().message;
            continue;
        }
        EXPECT_TRUE(shown) << shown.failure().message;
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "02"), 2 * PatternOf(c.shown).times + 1);
        EXPECT_EQ(sent.back(), "01");
        EXPECT_EQ(velnorsim::RamSettings(id), velnorsim::FlashSettings(id));
    }
}

}  // namespace
