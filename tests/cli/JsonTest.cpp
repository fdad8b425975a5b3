// The JSON documents are an interface: one exact text per shape, with text from a keypad escaped
// (bytes that are not UTF-8 must not break a document).
#include <gtest/gtest.h>

#include "Json.h"

namespace velnorcli {
namespace {

const KEYPAD_ENTRY kKeypad{"/dev/hidraw3", "U1", "Velnor", "Velnor Keypad", "1-2.3"};
const char* const kKeypadJson =
    R"({"path":"/dev/hidraw3","location":"1-2.3","usb_serial":"U1","manufacturer":"Velnor","product":"Velnor Keypad"})";

std::string Line(const std::string& text) { return text + "\n"; }

TEST(Json, EachDocumentHasItsDocumentedShape) {
    DEVICE_INFO status;
    status.LedLevel = 5;
    status.BuzzerSetting = 1;
    status.BuzzerPeriod = 100;
    status.KeypadTable = 2;
    status.KeyCountOption = 7;
    status.CodeTable[0] = 0x1e;
    status.FirmwareName = "V6.12";
    status.SerialNumber = "1234\"\n\x1b\xff    ";
    const std::string settings =
        R"({"led_level":5,"buzzer":1,"buzzer_period":100,"keypad_table":2,"key_count_option":7,"keys":null,)"
        R"("code_table":[30,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],"firmware":"V6.12","serial":"1234\"\n\u001b)" "\xef\xbf\xbd" R"(    "})";
    Settings a;
    Settings b;
    b.buzzer = 3;
    b.serial = "x";
    const std::vector<Difference> differences = Compare(a, b);
    StatusReading lost{kKeypad, std::nullopt, {kNoAnswer, "lost"}};
    StatusReading read{kKeypad, status, {}};
    KeypadReport restored;
    restored.keypad = kKeypad;
    restored.result = KeypadResult::Updated;
    restored.message = "m";
    restored.changes = {{Field::LedLevel, 1, 7}, {Field::Serial, std::string("1"), std::string("2")}};
    restored.before = status;
    restored.durationMs = 1520;
    const LogContext context{"2026-12-07T10:11:12.345Z", "station-3", "7.0", "restore", "k.txt", "ab12"};
    const char* const kChanges = R"("changes":[{"field":"led_level","from":1,"to":7},{"field":"serial","from":"1","to":"2"}])";

    const struct {
        const char* what;
        Json document;
        std::string text;
    } kCases[] = {
        {"list", ListJson({kKeypad}), std::string(R"({"keypads":[)") + kKeypadJson + "]}"},
        {"status", StatusJson(kKeypad, status), std::string(R"({"keypad":)") + kKeypadJson + R"(,"settings":)" + settings + "}"},
        {"status --all", StatusAllJson({read, lost}),
         std::string(R"({"keypads":[{"keypad":)") + kKeypadJson + R"(,"settings":)" + settings + R"(},{"keypad":)" +
             kKeypadJson + R"(,"error":{"status":6,"message":"lost"}}]})"},
        {"verify", DifferencesJson(differences, "keypad", "file"),
         R"({"equal":false,"differences":[{"field":"serial","keypad":"","file":"x"},{"field":"buzzer","keypad":0,"file":3}]})"},
        {"verify --all", VerifyAllJson({{kKeypad, std::vector<Difference>{}, {}}}),
         std::string(R"({"keypads":[{"keypad":)") + kKeypadJson + R"(,"equal":true,"differences":[]}]})"},
        {"backup", BackupJson(kKeypad, "b.txt", {"serial: x"}),
         std::string(R"({"keypad":)") + kKeypadJson + R"(,"file":"b.txt","warnings":["serial: x"]})"},
        {"restore", ReportsJson({restored}),
         std::string(R"({"keypads":[{"keypad":)") + kKeypadJson + R"(,"result":"updated",)" + kChanges +
             R"(,"status":0,"message":"m"}]})"},
        {"log line", LogJson(restored, context),
         std::string(R"({"time":"2026-12-07T10:11:12.345Z","host":"station-3","velnor_version":"7.0","command":"restore",)") +
             R"("location":"1-2.3","usb_serial":"U1","serial_before":"1234\"\n\u001b)" "\xef\xbf\xbd" R"(    ","serial_after":null,"firmware":"V6.12",)" +
             R"("file":"k.txt","file_sha256":"ab12",)" + kChanges + R"(,"result":"updated","status":0,"duration_ms":1520,"message":"m"})"},
        {"error", ErrorJson({kNoKeypad, "no keypad is attached"}), R"({"error":{"status":3,"message":"no keypad is attached"}})"},
        {"error with keypad", ErrorJson({kNoAnswer, "m"}, &kKeypad),
         std::string(R"({"error":{"status":6,"message":"m"},"keypad":)") + kKeypadJson + "}"},
    };
    for (const auto& c : kCases) EXPECT_EQ(Dump(c.document), Line(c.text)) << c.what;
}

}  // namespace
}  // namespace velnorcli
