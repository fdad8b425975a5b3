#include "SimFolder.h"

#include <algorithm>

namespace velnortest {

SimFolder::SimFolder(const std::string& config) {
    Write("keypad.conf", config + "\nreport_log " + Path("reports.log") + "\nstate_file " + Path("state.txt") +
                             "\ncall_log " + Path("calls.log") + "\n");
}

Result SimFolder::Run(const std::vector<std::string>& words, Launch launch) const {
    return Start(words, std::move(launch)).Wait();
}

Running SimFolder::Start(const std::vector<std::string>& words, Launch launch) const {
    std::vector<std::string> argv{VELNOR_PROGRAM};
    if (!words.empty() && words.front().find('/') != std::string::npos) argv.clear();
    argv.insert(argv.end(), words.begin(), words.end());
    launch.environment.insert(launch.environment.begin(), {std::string("LD_LIBRARY_PATH=") + VELNOR_SIM_DIR,
                                                           "VELNOR_SIM_CONFIG=" + Path("keypad.conf"), "NO_COLOR"});
    return Running(argv, launch);
}

std::vector<Bytes> SimFolder::Reports(const std::string& device) const {
    std::vector<Bytes> reports;
    for (const std::string& line : Lines(Read("reports.log"))) {
        const std::size_t blank = line.find(' ');
        if (device.empty() || line.substr(0, blank) == device) reports.push_back(Hex(line.substr(blank + 1)));
    }
    return reports;
}

long SimFolder::TimesSent(const std::string& command, const std::string& device) const {
    const std::vector<std::string> sent = CommandsSent(device);
    return std::count(sent.begin(), sent.end(), command);
}

bool SimFolder::AwaitCommand(const std::string& command, int times) const {
    return WaitUntil([&] { return TimesSent(command) >= times; });
}

std::map<std::string, std::string> SimFolder::State() const {
    std::map<std::string, std::string> state;
    std::string device;
    for (const std::string& line : Lines(Read("state.txt"))) {
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        if (line.rfind("device ", 0) == 0) {
            device = line.substr(blank + 1);
        } else {
            state[device + "." + line.substr(0, blank)] = line.substr(blank + 1);
        }
    }
    return state;
}

}  // namespace velnortest
