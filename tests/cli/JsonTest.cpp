// What the schemas cannot say: which value goes where, null for what is absent, and text from a
// keypad escaped (bytes that are not UTF-8 must not break a document).
#include <gtest/gtest.h>

#include "Json.h"

namespace velnorcli {
namespace {

const KEYPAD_ENTRY kKeypad{"/dev/hidraw3", "", "Velnor", "", "1-2.3"};
const char* const kKeypadJson =
    R"({"path":"/dev/hidraw3","location":"1-2.3","usb_serial":null,"manufacturer":"Velnor","product":null})";

TEST(Json, EachDocumentPutsEachValueInItsPlace) {
    DEVICE_INFO status;
    status.KeyCountOption = 7;
    status.CodeTable[0] = 0x1e;
    status.SerialNumber = "1234\"\n\x1b\xff";
    const std::string settings =
        R"({"led_level":0,"buzzer":0,"buzzer_period":0,"keypad_table":0,"key_count_option":7,"keys":null,)"
        R"("code_table":[30,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],"firmware":"","serial":"1234\"\n\u001b)" "\xef\xbf\xbd" R"("})";
    Settings a;
    Settings b;
    b.buzzer = 3;
    KeypadReport restored;
    restored.keypad = kKeypad;
    restored.result = KeypadResult::UnchangedAfterFailure;
    restored.status = kNoAnswer;
    restored.message = "m";
    restored.changes = {{Field::LedLevel, 1, 7}};
    const LogContext context{"2026-12-07T10:11:12.345Z", "station-3", "7.0", "restore", "k.txt", std::nullopt, "line 2"};
    const std::string entry = std::string(R"({"keypads":[{"keypad":)") + kKeypadJson;

    const struct {
        const char* what;
        Json document;
        std::string text;
    } kCases[] = {
        {"status, read and not", StatusJson({{kKeypad, status, {}}, {kKeypad, std::nullopt, {kNoAnswer, "lost", "h"}}}),
         entry + R"(,"status":0,"message":null,"settings":)" + settings + R"(},{"keypad":)" + kKeypadJson +
             R"(,"status":6,"message":"lost","error":{"status":6,"message":"lost","hint":"h"}}]})"},
        {"verify: from the keypad to the file", VerifyJson({{kKeypad, Compare(a, b), {}}}, "f.txt"),
         entry + R"(,"status":1,"message":null,"file":"f.txt","equal":false,"differences":[{"field":"buzzer","from":0,"to":3}]}]})"},
        {"backup with a warning", BackupJson(kKeypad, "b.txt", {"w"}),
         entry + R"(,"status":1,"message":null,"file":"b.txt","warnings":["w"]}]})"},
        {"restore", ReportsJson({restored}),
         entry + R"(,"status":6,"message":"m","result":"unchanged-after-failure","changes":[{"field":"led_level","from":1,"to":7}]}]})"},
        {"diff: from the old file to the new", DiffJson(Compare(b, a)),
         R"({"equal":false,"differences":[{"field":"buzzer","from":3,"to":0}]})"},
        {"log line", LogJson(restored, context),
         R"({"time":"2026-12-07T10:11:12.345Z","host":"station-3","velnor_version":"7.0","command":"restore",)"
         R"("location":"1-2.3","usb_serial":null,"serial_before":null,"serial_after":null,"firmware":null,"file":"k.txt",)"
         R"("file_sha256":null,"changes":[{"field":"led_level","from":1,"to":7}],"result":"unchanged-after-failure",)"
         R"("status":6,"duration_ms":0,"message":"m","station":"line 2"})"},
        {"error", ErrorJson({kNoKeypad, "none"}), R"({"error":{"status":3,"message":"none","hint":null}})"},
        {"error of a keypad", ErrorJson({kNoAnswer, "m"}, &kKeypad),
         entry + R"(,"status":6,"message":"m","error":{"status":6,"message":"m","hint":null}}]})"},
    };
    for (const auto& c : kCases) EXPECT_EQ(Dump(c.document), c.text + "\n") << c.what;
}

}  // namespace
}  // namespace velnorcli
