// Human output: aligned columns, escaped keypad text, code-table differences by key, the live
// lines of a station run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "ProgressBoard.h"
#include "ProgressDisplay.h"
#include "Render.h"
#include "Selection.h"
#include "Text.h"
#include "station/StationBoard.h"

namespace velnorcli {
namespace {

TEST(Render, ListAlignsColumnsAndEscapesWhatTheKeypadsSay) {
    EXPECT_EQ(RenderList({{"/dev/hidraw3", "", "Velnor", "Velnor\x1b[2J", "1-2.3"}, {"/dev/hidraw10", "S\n1", "V\xc2\x9b", "P", ""}}),
              "PATH           LOCATION  USB SERIAL  MANUFACTURER  PRODUCT\n"
              "/dev/hidraw3   1-2.3     -           Velnor        Velnor\\x1b[2J\n"
              "/dev/hidraw10  -         S\\x0a1      V\\u{009b}     P\n");
}

TEST(Text, EscapeControlShowsWhatATerminalWouldActOnAndKeepsOtherUtf8) {
    // C0 and DEL; C1; bidirectional overrides and isolates; not UTF-8 (a lone byte, an overlong
    // form, a surrogate, a cut sequence, past U+10FFFF); UTF-8 kept.
    const std::pair<std::string, std::string> kCases[] = {
        {"a\x1b[2J\x7f\\b", "a\\x1b[2J\\x7f\\\\b"},
        {"\xc2\x9b" "2J \xc2\x85 \xc2\x80\xc2\x9f \xc2\xa0", "\\u{009b}2J \\u{0085} \\u{0080}\\u{009f} \xc2\xa0"},
        {"\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\xa9", "\\u{202a}\\u{202e}\\u{2066}\\u{2069}\xe2\x80\xa9"},
        {"\x9b" "2J \xff \xc0\xaf \xed\xa0\x80 \xe2\x80 \xf4\x90\x80\x80", "\\x9b2J \\xff \\xc0\\xaf \\xed\\xa0\\x80 \\xe2\\x80 \\xf4\\x90\\x80\\x80"},
        {"K\xc3\xbc" "che \xe2\x82\xac \xf0\x9f\x94\x91 \xf4\x8f\xbf\xbf", "K\xc3\xbc" "che \xe2\x82\xac \xf0\x9f\x94\x91 \xf4\x8f\xbf\xbf"},
    };
    for (const auto& [text, shown] : kCases) EXPECT_EQ(EscapeControl(text), shown) << shown;
}

// In status's order whatever order they come in, the key count as keys, the code table one
// key a row with the keys' names, a long name cut to keep within 100 columns.
TEST(Render, DifferencesInStatusOrderWithKeysAsKeysAndTheCodeTableByKey) {
    std::istringstream usbIds("HUT 07  Keyboard\n\t01e  1 and ! (One and Exclamation)\n\t01f  2 and @ (2 and at)\n"
                              "\t065  Keyboard Application (Windows Key for Win95 or Compose)\n");
    const KeyNames names = KeyNames::Read(usbIds);
    Settings keypad;
    keypad.keyCountOption = 1;
    keypad.codeTable[3] = 0x1e;
    keypad.codeTable[19] = 0x1f;
    Settings file = keypad;
    file.codeTable = {0x00, 0x00, 0x00, 0x1f, 0x00, 0x07};
    file.codeTable[19] = 0x65;
    file.ledLevel = 12;
    file.keyCountOption = 7;
    file.serial = "A";
    std::vector<Difference> differences = Compare(keypad, file);
    std::reverse(differences.begin(), differences.end());
    EXPECT_EQ(RenderDifferences(differences, "KEYPAD", "FILE", names),
              "FIELD      KEYPAD            FILE\n"
              "serial     \"\"            ->  \"A\"\n"
              "keys       6             ->  option 7\n"
              "led_level  0             ->  12 (0xc)\n"
              "key 3      1e (1 and !)  ->  1f (2 and @)\n"
              "key 5      00            ->  07\n"
              "key 19     1f (2 and @)  ->  65 (Keyboard Application (Windows...)\n");
}

// The live lines of a station run are redrawn over the lines drawn before, and wiped when the
// run ends so that the report takes their place; none is wider than the terminal.
TEST(Render, ProgressLinesAreRedrawnInPlaceAndWipedAtTheEnd) {
    const std::vector<std::string> lines{"1-2.3  writing buzzer  2.4 s", "kp10   updated         1.2 s"};
    EXPECT_EQ(RedrawText(0, lines), "\r\033[K1-2.3  writing buzzer  2.4 s\n\r\033[Kkp10   updated         1.2 s\n");
    EXPECT_EQ(RedrawText(2, lines), "\033[2A\r\033[K1-2.3  writing buzzer  2.4 s\n\r\033[Kkp10   updated         1.2 s\n");
    EXPECT_EQ(WipeText(2), "\033[2A\r\033[J");
    EXPECT_EQ(WipeText(0), "");
    EXPECT_EQ(CutToWidth("1-2.3  K\xc3\xbc" "che", 9), "1-2.3  K\xc3\xbc");
    EXPECT_EQ(CutToWidth("1-2.3", 5), "1-2.3");
    EXPECT_EQ(CutToWidth("1-2.3", 0), "1-2.3");
}

TEST(ProgressBoard, OneAlignedLinePerKeypadWithItsStepAndElapsedTime) {
    const auto start = ProgressBoard::Clock::now();
    // Named as messages name a keypad, escaped once.
    ProgressBoard board({"1-2.1", KeypadName({"kp\x1b", "", "", "", ""})}, start);
    board.Set(0, "writing buzzer");
    board.Finish(1, "updated", start + std::chrono::milliseconds(1500));
    board.Set(1, "ignored once finished");
    EXPECT_EQ(board.Lines(start + std::chrono::milliseconds(420)),
              (std::vector<std::string>{"1-2.1   writing buzzer  0.4 s", "kp\\x1b  updated         1.5 s"}));
}

// The station's board: a row per port in port order, its state from waiting through the
// keypad's steps and its feedback to done and left, taken by the next keypad plugged in there
// (one without a location leaves no row); each finished keypad counted once.
TEST(StationBoard, ARowPerPortFollowsTheKeypadThereAndTheCountersCountEachEnd) {
    const auto start = StationBoard::Clock::now();
    StationBoard board(true, start);
    const KEYPAD_ENTRY a{"/dev/hidraw1", "KP1", "", "", "1-2.10"}, b{"/dev/hidraw2", "", "", "", "1-2.9"},
        c{"/dev/hidraw3", "", "", "", "1-2.10"}, d{"/dev/hidraw4", "", "", "", ""};
    KeypadReport updated, failed;
    updated.keypad = {"/dev/hidraw5", "KP1", "", "", "1-2.10"};
    updated.result = KeypadResult::Updated;
    updated.after = DEVICE_INFO{};
    updated.after->SerialNumber = "1001    ";
    updated.durationMs = 1500;
    failed.keypad = b;
    failed.status = kNoKeypad;
    failed.durationMs = 2000;
    const auto tell = [&](EventKind kind, const KEYPAD_ENTRY& keypad, const KeypadReport* report = nullptr) {
        board.Tell({kind, keypad, report}, start);
    };
    const struct {
        std::function<void()> events;
        std::vector<std::string> lines;
    } kSteps[] = {
        {[&] { tell(EventKind::Attached, a), tell(EventKind::Attached, b), tell(EventKind::Started, a); },
         {"PORT    STATE      SERIAL  RESULT  TIME", "1-2.9   waiting    -       -       -",
          "1-2.10  restoring  -       -       3.6 s", "updated 0, up to date 0, failed 0; 0 keypads in 3.6 s: 0 keypads per hour"}},
        {[&] {
             // b's feedback ends before the station tells b finished.
             board.Step(a, "writing buzzer"), tell(EventKind::Started, b), board.Shown(b);
             tell(EventKind::Finished, b, &failed), board.Step(b, "too late");
         },
         {"PORT    STATE                      SERIAL  RESULT  TIME", "1-2.9   done                       -       failed  2.0 s",
          "1-2.10  restoring: writing buzzer  -       -       3.6 s", "updated 0, up to date 0, failed 1; 1 keypad in 3.6 s: 1000 keypads per hour"}},
        {[&] { tell(EventKind::Finished, updated.keypad, &updated), tell(EventKind::Left, b), tell(EventKind::Attached, d); },
         {"PORT          STATE     SERIAL  RESULT   TIME", "1-2.9         left      -       failed   2.0 s",
          "1-2.10        feedback  1001    updated  1.5 s", "/dev/hidraw4  waiting   -       -        -",
          "updated 1, up to date 0, failed 1; 2 keypads in 3.6 s: 2000 keypads per hour"}},
        {[&] { tell(EventKind::Left, d), tell(EventKind::Left, updated.keypad), tell(EventKind::Attached, c); },
         {"PORT    STATE    SERIAL  RESULT  TIME", "1-2.9   left     -       failed  2.0 s", "1-2.10  waiting  -       -       -",
          "updated 1, up to date 0, failed 1; 2 keypads in 3.6 s: 2000 keypads per hour"}},
    };
    for (const auto& step : kSteps) {
        step.events();
        EXPECT_EQ(board.Lines(start + std::chrono::milliseconds(3600)), step.lines);
    }
}

}  // namespace
}  // namespace velnorcli
