#include "VelnorRun.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace velnorclitest {

SimFolder::SimFolder(const std::string& config) {
    char pattern[] = "/tmp/velnor-cli-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    Write("keypad.conf", config + "\nreport_log " + Path("reports.log") + "\nstate_file " + Path("state.txt") + "\n");
}

SimFolder::~SimFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string SimFolder::Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
}

std::string SimFolder::Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Result SimFolder::Run(const std::vector<std::string>& words, const std::vector<std::string>& extraEnvironment) const {
    return Start(words, extraEnvironment).Wait();
}

Running::Running(Running&& other) noexcept : pid_(other.pid_), out_(other.out_), err_(other.err_) { other.pid_ = -1; }

Running::~Running() {
    if (pid_ > 0) Wait();
}

void Running::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

Result Running::Wait() {
    Result result;
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int open = 2; open > 0;) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

Running SimFolder::Start(const std::vector<std::string>& words, const std::vector<std::string>& extraEnvironment) const {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0 && std::strncmp(*entry, "VELNOR_SIM_CONFIG=", 18) != 0 &&
            std::strncmp(*entry, "NO_COLOR=", 9) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back(std::string("LD_LIBRARY_PATH=") + VELNOR_SIM_DIR);
    environment.push_back("VELNOR_SIM_CONFIG=" + Path("keypad.conf"));
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> argv{VELNOR_PROGRAM};
    if (!words.empty() && words.front().find('/') != std::string::npos) argv.clear();
    argv.insert(argv.end(), words.begin(), words.end());
    std::vector<char*> args;
    for (std::string& word : argv) args.push_back(word.data());
    args.push_back(nullptr);

    int out[2];
    int err[2];
    // Close-on-exec: programs started at once from several threads must not hold each other's pipes.
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv.front());
    return Running(pid, out[0], err[0]);
}

bool SimFolder::AwaitCommand(const std::string& command, int times) const {
    for (int waited = 0; waited < 15000; ++waited) {
        const std::vector<std::string> sent = CommandsSent();
        if (std::count(sent.begin(), sent.end(), command) >= times) return true;
        usleep(2000);
    }
    return false;
}

std::vector<std::string> SimFolder::CommandsSent(const std::string& device) const {
    std::vector<std::string> commands;
    std::istringstream lines(Read("reports.log"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string path;
        std::vector<std::string> bytes;
        words >> path;
        if (!device.empty() && path != device) continue;
        for (std::string byte; words >> byte;) bytes.push_back(byte);
        if (bytes.size() < 5) continue;
        // 3F 40 02 then the command's two hexadecimal characters.
        const auto character = [&](std::size_t i) { return static_cast<char>(std::stoi(bytes[i], nullptr, 16)); };
        commands.push_back(std::string{character(3), character(4)});
    }
    return commands;
}

std::map<std::string, std::string> SimFolder::State() const {
    std::map<std::string, std::string> state;
    std::istringstream lines(Read("state.txt"));
    std::string device;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        if (line.rfind("device ", 0) == 0) {
            device = line.substr(space + 1);
        } else {
            state[device + "." + line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return state;
}

}  // namespace velnorclitest
