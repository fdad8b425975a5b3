#include "ProgramRun.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "Process.h"

namespace velnortest {

ProgramRun::ProgramRun(const std::string& keypadConfig) {
    char pattern[] = "/tmp/velnor-run-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    WriteFile("keypad.conf", keypadConfig + "\nreport_log " + folder_ + "/reports.log\nstate_file " + folder_ +
                                 "/state.txt\n");
}

ProgramRun::~ProgramRun() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string ProgramRun::WriteFile(const std::string& name, const std::string& content) const {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

ProgramResult ProgramRun::Start(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& workingFolder) const {
    std::filesystem::remove(folder_ + "/reports.log");
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    Process process(words, workingFolder,
                    {std::string("LD_LIBRARY_PATH=") + VELNOR_SIM_DIR, "VELNOR_SIM_CONFIG=" + folder_ + "/keypad.conf"});
    ProgramResult result;
    result.exitStatus = process.Wait();
    result.output = process.output;
    result.arrivals = process.arrivals;
    std::ifstream log(folder_ + "/reports.log");
    for (std::string line; std::getline(log, line);) result.reports.push_back(Hex(line.substr(line.find(' ') + 1)));
    std::ifstream state(folder_ + "/state.txt");
    for (std::string line; std::getline(state, line);) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) result.state[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return result;
}

std::vector<std::pair<long, std::size_t>>::const_iterator ProgramResult::ArrivalOf(const std::string& text) const {
    const std::size_t at = output.find(text);
    auto arrival = arrivals.begin();
    while (at != std::string::npos && arrival != arrivals.end() && arrival->second < at + text.size()) ++arrival;
    return at == std::string::npos ? arrivals.end() : arrival;
}

std::string ReadGolden(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("no golden file " + path);
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
