// A built program run as a process against the simulated keypad, in a folder of its own: its
// standard output and standard error apart, its exit status, what the keypads were sent and
// their state afterwards.
#ifndef VELNOR_TESTS_CLI_VELNORRUN_H
#define VELNOR_TESTS_CLI_VELNORRUN_H

#include <map>
#include <string>
#include <vector>

namespace velnorclitest {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// A program started and not yet waited for.
class Running {
public:
    Running(int pid, int out, int err) : pid_(pid), out_(out), err_(err) {}
    Running(Running&& other) noexcept;
    ~Running();  // waits, when Wait was not called
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    int Pid() const { return pid_; }
    void Signal(int signal) const;
    Result Wait();

private:
    int pid_;
    int out_;
    int err_;
};

class SimFolder {
public:
    // config: statements of the simulator's configuration (report_log and state_file are added).
    explicit SimFolder(const std::string& config);
    ~SimFolder();
    SimFolder(const SimFolder&) = delete;
    SimFolder& operator=(const SimFolder&) = delete;

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;

    // Runs velnor (or another program when the first word is a path) with the simulator.
    Result Run(const std::vector<std::string>& words, const std::vector<std::string>& extraEnvironment = {}) const;
    Running Start(const std::vector<std::string>& words, const std::vector<std::string>& extraEnvironment = {}) const;

    // The command byte of every report the keypads (or the one of this name) received, in order
    // ("01" is a status request).
    std::vector<std::string> CommandsSent(const std::string& device = "") const;
    // Waits (up to 30 s, looking every 2 ms) until the report log shows this command; false if not.
    bool AwaitCommand(const std::string& command, int times = 1) const;
    // The state file as "<device>.<key>" -> value.
    std::map<std::string, std::string> State() const;

private:
    std::string folder_;
};

}  // namespace velnorclitest

#endif
