#include "Golden.h"

#include <fstream>
#include <stdexcept>

namespace velnortest {

std::string ReadGolden(const std::string& name) {
    std::ifstream file(std::string(VELNOR_TESTS_DIR) + "/golden/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("no golden file " + name);
    std::string golden;
    for (char c; file.get(c);) {
        if (c == '\n') continue;  // line breaks of the file are for reading only
        if (c == '\\' && file.peek() != EOF) {
            const char escaped = static_cast<char>(file.get());
            golden += escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped;
            continue;
        }
        golden += c;
    }
    return golden;
}

bool MatchesGolden(const std::string& output, const std::string& golden) {
    static const std::string kMarker = "{attempts}";
    static const std::string kAttemptLines[] = {"vid 2047 pid 9bf \r\n", "manufacture none\r\n"};
    std::size_t at = 0;
    std::size_t piece = 0;
    for (;;) {
        const std::size_t marker = golden.find(kMarker, piece);
        const std::string expected = golden.substr(piece, marker == std::string::npos ? std::string::npos : marker - piece);
        if (output.compare(at, expected.size(), expected) != 0) return false;
        at += expected.size();
        if (marker == std::string::npos) return at == output.size();
        for (bool consumed = true; consumed;) {
            consumed = false;
            for (const std::string& line : kAttemptLines) {
                if (output.compare(at, line.size(), line) == 0) {
                    at += line.size();
                    consumed = true;
                }
            }
        }
        piece = marker + kMarker.size();
    }
}

}  // namespace velnortest
