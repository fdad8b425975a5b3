#include "Golden.h"

#include <stdexcept>

#include "TestSupport.h"

namespace velnortest {

std::string ReadGolden(const std::string& name) {
    const std::string file = ReadFile(std::string(VELNOR_TESTS_DIR) + "/golden/" + name);
    if (file.empty()) throw std::runtime_error("no golden file " + name);
    std::string golden;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\n') continue;  // line breaks of the file are for reading only
        const char escaped = file[i] == '\\' && i + 1 < file.size() ? file[++i] : 0;
        golden += escaped == 0 ? file[i] : escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped;
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
