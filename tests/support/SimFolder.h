// A folder of its own for one test's runs of the built programs against simulated keypads: their
// configuration (with a report log, a state file and a log of hidapi calls), files made up by the test, what the keypads
// were sent and what they hold.
#ifndef VELNOR_TESTS_SIMFOLDER_H
#define VELNOR_TESTS_SIMFOLDER_H

#include <map>
#include <string>
#include <vector>

#include "Hex.h"
#include "Run.h"
#include "TestSupport.h"

namespace velnortest {

class SimFolder : public TempFolder {
public:
    // config: statements of the simulator's configuration (one device per "device").
    explicit SimFolder(const std::string& config);

    // Runs velnor, or the program that the first word names by its path, with the simulated
    // hidapi and this configuration.
    Result Run(const std::vector<std::string>& words, Launch launch = {}) const;
    Running Start(const std::vector<std::string>& words, Launch launch = {}) const;
    // VelnorUtility, run in the examples folder.
    Result Utility(std::vector<std::string> arguments, Launch launch = {}) const {
        arguments.insert(arguments.begin(), VELNOR_UTILITY);
        launch.folder = VELNOR_EXAMPLES_DIR;
        return Run(arguments, std::move(launch));
    }

    // Every report the keypads (or the one of this name) received, in order.
    std::vector<Bytes> Reports(const std::string& device = "") const;
    // The command of each of those reports, as its two characters ("01" is a status request).
    std::vector<std::string> CommandsSent(const std::string& device = "") const { return CommandsOf(Reports(device)); }
    // How many times the keypads (or the one of this name) were sent this command.
    long TimesSent(const std::string& command, const std::string& device = "") const;
    // Waits (up to 30 s) until the keypads were sent this command `times` times; false if not.
    bool AwaitCommand(const std::string& command, int times = 1) const;
    // The state file as "<device>.<key>" -> value ("keypad-1.flash.led_level" -> "7").
    std::map<std::string, std::string> State() const;
};

}  // namespace velnortest

#endif
