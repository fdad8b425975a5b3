// Key names from the keyboard section of usb.ids.
#include <gtest/gtest.h>

#include <sstream>

#include "KeyNames.h"

namespace velnorcli {
namespace {

// A line too long for any name before the others of the section must not end the reading.
const std::string kUsbIds =
    "# comment\n"
    "HUT 01  Generic Desktop Controls\n"
    "\t01e  Not a key\n"
    "HUT 07  Keyboard\n\t01f  " + std::string(100000, 'x') + "\n"
    "\t000  No Event\n"
    "\t01e  1 and ! (One and Exclamation)\n"
    "\t026  9 and ( (Nine and Parenthesis Left)\n"
    "\t028  Return (Enter)\r\n"
    "\t054  Keypad / (Division Sign)\n"
    "\t034  \xc2\xb4 and \" (Accent Acute and Double Quotes)\n"
    "\t05a  Bell\x07 rings\n"
    "\t1ff  beyond a byte\n"
    "\tzz1  not hex\n"
    "\t02c Space with one blank\n"
    "HUT 08  LEDs\n"
    "\t001  Num Lock\n";

TEST(KeyNames, ReadsTheKeyboardSectionOnlyAndShortensSymbolPairs) {
    std::istringstream in(kUsbIds);
    const KeyNames names = KeyNames::Read(in);
    const struct {
        std::uint8_t code;
        const char* name;
    } kCases[] = {
        {0x00, "No Event"},     {0x1e, "1 and !"},      {0x26, "9 and ("},
        {0x28, "Return (Enter)"}, {0x54, "Keypad / (Division Sign)"}, {0x34, "\xc2\xb4 and \""},
        {0x5a, "Bell\\x07 rings"}, {0x01, ""},          {0x2c, ""},
        {0xff, ""},
    };
    for (const auto& c : kCases) EXPECT_EQ(names.Name(c.code), c.name) << int(c.code);
}

TEST(KeyNames, WithoutTheFileOrTheSectionThereAreNoNames) {
    EXPECT_TRUE(KeyNames::ReadFile("/nonexistent/usb.ids").Empty());
    std::istringstream noSection("HUT 08  LEDs\n\t001  Num Lock\n");
    EXPECT_TRUE(KeyNames::Read(noSection).Empty());
}

}  // namespace
}  // namespace velnorcli
