#include "Compare.h"

#include <string>

#include "BackupFile.h"
#include "Say.h"

namespace velnorutility {

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

int CompareBackupFiles(std::istream& first, std::istream& second, std::ostream& out) {
    std::string firstLine;
    std::string secondLine;
    if (!ReadLine(first, firstLine)) {
        Say(out, kFailed);
        return 1;
    }
    int matches = 0;
    while (ReadLine(second, secondLine)) {
        if (LinesMatch(firstLine, secondLine, out)) {
            ++matches;
            Say(out, "Matched " + firstLine + "\n");
        }
        if (!ReadLine(first, firstLine)) break;
    }
    if (matches == kComparedKinds) {
        Say(out, kPassed);
        return 0;
    }
    Say(out, kFailed);
    return 1;
}

}  // namespace velnorutility
