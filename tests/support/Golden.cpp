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
    std::size_t at = 0;
    for (std::size_t piece = 0;; piece = golden.find(kMarker, piece) + kMarker.size()) {
        const std::string expected = golden.substr(piece, golden.find(kMarker, piece) - piece);
        if (output.compare(at, expected.size(), expected) != 0) return false;
        at += expected.size();
        if (golden.find(kMarker, piece) == std::string::npos) return at == output.size();
        for (std::size_t line = 1; line != 0;) {
            line = output.compare(at, 19, "vid 2047 pid 9bf \r\n") == 0 ? 19 : output.compare(at, 18, "manufacture none\r\n") == 0 ? 18 : 0;
            at += line;
        }
    }
}

}  // namespace velnortest
