#include "Compare.h"

#include <algorithm>
#include <string>

#include "ControlBytes.h"
#include "Say.h"

namespace velnorutility {

using velnorbackup::LineRead;
using velnorbackup::LineReader;
using velnorbackup::ShowControlBytes;

namespace {

constexpr const char* kPassed = "=====   PASSED - KEYPAD HAS BEEN UPGRADED   =====\n";
constexpr const char* kFailed = "=====  FAILED - KEYPAD HAS NOT BEEN UPGRADED ====\n";
constexpr int kComparedKinds = 7;
constexpr std::size_t kSerialCompared = 22;

bool StartsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

}  // namespace

bool LinesMatch(std::string_view first, std::string_view second, std::ostream& out) {
    if (StartsWith(first, "Buzzer Period")) {
        Say(out, "matched ");
        return first == second;
    }
    for (std::string_view prefix : {"Buzzer", "Led Brightness", "Velnor has", "Keypad Table", " 0  "}) {
        if (StartsWith(first, prefix)) return first == second;
    }
    // Two serial lines agree in their first 22 characters; a shorter line only matches itself.
    if (StartsWith(first, "Serial")) return first.substr(0, kSerialCompared) == second.substr(0, kSerialCompared);
    return false;
}

int CompareBackupFiles(std::istream& first, std::istream& second, std::ostream& out, std::size_t lineCapacity) {
    LineReader firstLines(first, lineCapacity);
    LineReader secondLines(second, lineCapacity);
    std::string firstLine;
    std::string secondLine;
    LineRead read = firstLines.Next(firstLine);
    if (read == LineRead::End) {
        Say(out, kFailed);
        return 1;
    }
    // Only "exactly seven" matters: the count stops at eight, however long the files.
    int matches = 0;
    while (read == LineRead::Line && (read = secondLines.Next(secondLine)) == LineRead::Line) {
        if (LinesMatch(firstLine, secondLine, out)) {
            matches = std::min(matches + 1, kComparedKinds + 1);
            Say(out, "Matched " + ShowControlBytes(firstLine) + "\n");
        }
        read = firstLines.Next(firstLine);
    }
    if (read == LineRead::LineTooLong) {
        Say(out, Format("Compared file has a line longer than %zu characters\r\n", lineCapacity));
        return 1;
    }
    if (matches == kComparedKinds) {
        Say(out, kPassed);
        return 0;
    }
    Say(out, kFailed);
    return 1;
}

}  // namespace velnorutility
