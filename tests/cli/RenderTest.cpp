// Human output: aligned columns, escaped keypad text, code-table differences by key.
#include <gtest/gtest.h>

#include "Render.h"

namespace velnorcli {
namespace {

TEST(Render, ListAlignsColumnsAndEscapesWhatTheKeypadsSay) {
    EXPECT_EQ(RenderList({{"/dev/hidraw3", "", "Velnor", "Velnor\x1b[2J", "1-2.3"}, {"/dev/hidraw10", "S\n1", "V", "P", ""}}),
              "PATH           LOCATION  USB SERIAL  MANUFACTURER  PRODUCT\n"
              "/dev/hidraw3   1-2.3     -           Velnor        Velnor\\x1b[2J\n"
              "/dev/hidraw10  -         S\\x0a1      V             P\n");
}

TEST(Render, CodeTableDifferencesShowTheKeysApartOrTheWholeTables) {
    Settings keypad;
    Settings file = keypad;
    file.codeTable[3] = 0x21;
    file.ledLevel = 12;
    EXPECT_EQ(RenderDifferences(Compare(keypad, file), "KEYPAD", "FILE"),
              "FIELD          KEYPAD  FILE\n"
              "led_level      0       12 (0xc)\n"
              "code_table[3]  00      21\n");
    for (std::size_t i = 0; i < 20; ++i) file.codeTable[i] = static_cast<std::uint8_t>(i);
    const std::string whole = RenderDifferences(Compare(keypad, file), "OLD", "NEW");
    EXPECT_NE(whole.find("code_table  00 00 00"), std::string::npos) << whole;
    EXPECT_NE(whole.find("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13\n"), std::string::npos) << whole;
}

}  // namespace
}  // namespace velnorcli
