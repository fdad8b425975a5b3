#include "Process.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace velnortest {

namespace {

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

Process::Process(const std::vector<std::string>& words, const std::string& folder,
                 const std::vector<std::string>& environment) {
    std::string command = "cd " + Quoted(folder) + " && exec env";
    for (const std::string& word : environment) command += " " + word;
    for (const std::string& word : words) command += " " + Quoted(word);
    start_ = std::chrono::steady_clock::now();
    pipe_ = popen(command.c_str(), "re");
    if (pipe_ == nullptr) throw std::runtime_error("cannot start " + command);
}

Process::~Process() {
    if (pipe_ != nullptr) Wait();
}

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (output.find(text) == std::string::npos) {
        const auto now = std::chrono::steady_clock::now();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd ready{fileno(pipe_), POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[4096];
        const ssize_t count = read(fileno(pipe_), buffer, sizeof buffer);
        if (count <= 0) return false;
        output.append(buffer, static_cast<std::size_t>(count));
        const auto since = std::chrono::steady_clock::now() - start_;
        arrivals.emplace_back(std::chrono::duration_cast<std::chrono::milliseconds>(since).count(), output.size());
    }
    return true;
}

int Process::Wait() {
    WaitForOutput(std::string(1, '\0'), std::chrono::hours(1));
    const int status = pclose(pipe_);
    pipe_ = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace velnortest
