#include "ProgramRun.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace velnortest {

namespace {

std::vector<std::uint8_t> ParseReportLine(const std::string& line) {
    std::istringstream words(line);
    std::string path;
    words >> path;
    std::vector<std::uint8_t> report;
    std::string byte;
    while (words >> byte) report.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    return report;
}

}  // namespace

ProgramRun::ProgramRun(const std::string& keypadConfig) {
    char pattern[] = "/tmp/velnor-run-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    WriteFile("keypad.conf", keypadConfig + "\nreport_log " + folder_ + "/reports.log\nstate_file " + folder_ +
                                 "/state.txt\n");
}

ProgramRun::~ProgramRun() {
    for (const char* name : {"keypad.conf", "reports.log", "state.txt", "state.txt.tmp"}) {
        std::remove((folder_ + "/" + name).c_str());
    }
    for (const std::string& file : {std::string("backup.txt"), std::string("second.txt")}) {
        std::remove((folder_ + "/" + file).c_str());
    }
    rmdir(folder_.c_str());
}

std::string ProgramRun::WriteFile(const std::string& name, const std::string& content) const {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

ProgramResult ProgramRun::Start(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& workingFolder) const {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0 && std::strncmp(*entry, "VELNOR_SIM_CONFIG=", 18) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back(std::string("LD_LIBRARY_PATH=") + VELNOR_SIM_DIR);
    environment.push_back("VELNOR_SIM_CONFIG=" + folder_ + "/keypad.conf");
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start " + program);
    }

    ProgramResult result;
    const auto start = std::chrono::steady_clock::now();
    char buffer[4096];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(count));
        const auto now = std::chrono::steady_clock::now();
        result.arrivals.emplace_back(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count(),
                                     result.output.size());
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    std::ifstream log(folder_ + "/reports.log");
    for (std::string line; std::getline(log, line);) result.reports.push_back(ParseReportLine(line));
    std::ifstream state(folder_ + "/state.txt");
    for (std::string line; std::getline(state, line);) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) result.state[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return result;
}

long ProgramResult::ArrivalOf(const std::string& text) const {
    const std::size_t at = output.find(text);
    if (at == std::string::npos) return -1;
    for (const auto& [milliseconds, length] : arrivals) {
        if (length >= at + text.size()) return milliseconds;
    }
    return -1;
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
