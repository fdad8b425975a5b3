#include "Run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace velnortest {

namespace {

std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('=')) + "=";
        std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(name, 0) == 0; });
        if (change.find('=') != std::string::npos) environment.push_back(change);
    }
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool WriteAll(int descriptor, std::string_view text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

std::pair<long, std::size_t> Result::ArrivalOf(const std::string& text) const {
    const std::size_t at = out.find(text);
    for (const auto& arrival : arrivals) {
        if (at != std::string::npos && arrival.second >= at + text.size()) return arrival;
    }
    return {-1, 0};
}

namespace {

// With VELNOR_JSON_CAPTURE (the test build's folder for them), what velnor printed with --json and the log
// lines it appended are kept there, named by their schema, for the schema check that runs last.
std::atomic<int> captured{0};

void CaptureJson(const std::vector<std::string>& words, const std::string& folder, const std::string& out) {
#ifdef VELNOR_JSON_CAPTURE
    const char* capture = VELNOR_JSON_CAPTURE;
#else
    const char* capture = nullptr;
#endif
    namespace fs = std::filesystem;
    if (capture == nullptr || words.empty() || fs::path(words[0]).filename() != "velnor") return;
    const auto command = std::find_if(words.begin() + 1, words.end(), [](const std::string& word) { return word[0] != '-'; });
    const std::string unique = "." + std::to_string(getpid()) + "-" + std::to_string(++captured);
    if (std::find(words.begin(), words.end(), "--json") != words.end() && !out.empty()) {
        std::ofstream(std::string(capture) + "/" + (command == words.end() ? "error" : *command) + unique + ".json") << out;
    }
    for (auto word = words.begin(); word != words.end() && word + 1 != words.end(); ++word) {
        if (*word != "--log") continue;
        const fs::path log = fs::path(folder).empty() ? fs::path(word[1]) : fs::path(folder) / word[1];
        std::error_code error;
        if (fs::is_regular_file(log, error)) fs::copy_file(log, std::string(capture) + "/log-line" + unique + ".jsonl", error);
    }
}

}  // namespace

Running::Running(const std::vector<std::string>& words, const Launch& launch) : words_(words), folder_(launch.folder) {
    std::vector<std::string> argv = words;
    std::vector<std::string> envp = Environment(launch.environment);
    const std::vector<char*> args = Pointers(argv);
    const std::vector<char*> env = Pointers(envp);
    // Close-on-exec: programs started at once from several threads must not hold each other's pipes.
    int out[2];
    int err[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    // A program that stops reading its input early must not kill the test that feeds it.
    if (launch.input) std::signal(SIGPIPE, SIG_IGN);
    start_ = std::chrono::steady_clock::now();
    // fork, not posix_spawn: a child that shares the test's memory until it runs the program
    // (vfork) starts its peak from the test's own.
    pid_ = fork();
    if (pid_ == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        // Not under a sanitizer (a 200 MB compare takes a minute of CPU under ThreadSanitizer):
        // there ctest's time-out is the bound.
        if (launch.bounded && !kSanitized) {
            const rlimit cpu{60, 60};
            const rlimit addressSpace{rlim_t{1} << 30, rlim_t{1} << 30};
            setrlimit(RLIMIT_CPU, &cpu);
            setrlimit(RLIMIT_AS, &addressSpace);
        }
        if (dup2(in[0], STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0 || dup2(err[1], STDERR_FILENO) < 0 ||
            (!launch.folder.empty() && chdir(launch.folder.c_str()) != 0)) {
            _exit(127);
        }
        if (launch.user != 0 && (setgroups(0, nullptr) != 0 || setgid(launch.user) != 0 || setuid(launch.user) != 0)) {
            _exit(126);
        }
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    pipes_[0] = out[0];
    pipes_[1] = err[0];
    if (pid_ < 0) throw std::runtime_error("cannot start " + words.front());
    const int feed = in[1];
    feeder_ = std::thread([feed, input = launch.input] {
        if (input) input(feed);
        close(feed);
    });
}

Running::~Running() {
    if (pid_ > 0) Wait();
}

void Running::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

bool Running::ReadSome(int timeoutMs) {
    pollfd ready[2] = {{pipes_[0], POLLIN, 0}, {pipes_[1], POLLIN, 0}};
    if (pipes_[0] < 0 && pipes_[1] < 0) return false;
    const int count = poll(ready, 2, timeoutMs);
    if (count <= 0) return count < 0 && errno == EINTR;
    for (int i = 0; i < 2; ++i) {
        if (ready[i].fd < 0 || ready[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t got = read(ready[i].fd, buffer, sizeof buffer);
        if (got <= 0) {
            close(pipes_[i]);
            pipes_[i] = -1;
            continue;
        }
        (i == 0 ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(got));
        if (i == 0) {
            const auto since = std::chrono::steady_clock::now() - start_;
            result_.arrivals.emplace_back(std::chrono::duration_cast<std::chrono::milliseconds>(since).count(),
                                          result_.out.size());
        }
    }
    return true;
}

bool Running::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (result_.out.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
    return true;
}

Result Running::Wait() {
    while (ReadSome(-1)) {
    }
    feeder_.join();
    int status = 0;
    rusage usage{};
    wait4(pid_, &status, 0, &usage);
    pid_ = -1;
    result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result_.peakKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) CaptureJson(words_, folder_, result_.out);
    return result_;
}

}  // namespace velnortest
