#include "CommandLine.h"

#include <cstring>

#include "ControlBytes.h"
#include "Say.h"

namespace velnorutility {

using velnorbackup::HoldsControlBytes;
using velnorbackup::ShowControlBytes;

namespace {

// Copies an argument word; a word longer than the text's capacity is refused, not cut (a cut
// file name opens another file, a cut serial number programs a wrong one).
bool Take(const char* flag, const char* word, std::size_t capacity, std::string& into, std::string& refusal) {
    if (std::strlen(word) > capacity) {
        refusal = Format("%s: argument longer than %zu characters\r\n", ShowControlBytes(flag).c_str(), capacity);
        return false;
    }
    into = word;
    return true;
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::ostream& out) {
    int count = 0;
    for (int i = 0; i < argc;) {
        const char* word = argv[i];
        if (word == nullptr || word[0] != '-') {
            ++i;
            continue;
        }
        const int remaining = argc - i - 1;
        switch (word[1]) {
        case 'k':
            if (remaining < 1) {
                line.refusal = Format("%s needs the number of keys\r\n", ShowControlBytes(word).c_str());
                return count;
            }
            if (!Take(word, argv[i + 1], CommandLine::kKeyCountCapacity, line.keyCount, line.refusal)) return count;
            ++count;
            i += 2;
            break;
        case 'n':
            if (remaining < 1) {
                line.refusal = Format("%s needs the serial number\r\n", ShowControlBytes(word).c_str());
                return count;
            }
            if (!Take(word, argv[i + 1], CommandLine::kSerialCapacity, line.serial, line.refusal)) return count;
            // It is programmed into the keypad and shown on the terminal: only printable text.
            if (HoldsControlBytes(line.serial)) {
                line.refusal = Format("%s: serial number holds control characters\r\n", ShowControlBytes(word).c_str());
                return count;
            }
            line.serialGiven = true;
            i += 2;
            break;
        case 'c':
            if (remaining < 2) {
                line.refusal = Format("%s needs two file names\r\n", ShowControlBytes(word).c_str());
                return count;
            }
            if (!Take(word, argv[i + 1], CommandLine::kFileNameCapacity, line.firstFile, line.refusal) ||
                !Take(word, argv[i + 2], CommandLine::kFileNameCapacity, line.secondFile, line.refusal)) {
                return count;
            }
            line.compare = true;
            ++count;
            ++i;  // the file names are looked at as words too
            break;
        case 'b':
            if (remaining < 1) {
                line.refusal = Format("%s needs the backup file name\r\n", ShowControlBytes(word).c_str());
                return count;
            }
            if (!Take(word, argv[i + 1], CommandLine::kFileNameCapacity, line.firstFile, line.refusal)) return count;
            line.restore = true;
            ++count;
            ++i;
            break;
        default:
            // Words echoed in messages show their control bytes as \xHH, like every outside text.
            Say(out, Format("flag not recognised %s\r\n", ShowControlBytes(word).c_str()));
            count = 255;
            ++i;
            break;
        }
    }
    return count == 2 ? 0 : count;
}

}  // namespace velnorutility
