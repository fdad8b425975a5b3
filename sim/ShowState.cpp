// Prints the simulated keypads' settings as VELNOR_SIM_CONFIG sets them up (its state_file is
// written and shown), for demonstrations: velnor-sim-state
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "velnor_sim/SimControl.h"

int main() {
    velnorsim::GetCounters();  // sets the bus up from the configuration file
    const char* config = std::getenv("VELNOR_SIM_CONFIG");
    if (config == nullptr) {
        std::cerr << "velnor-sim-state: VELNOR_SIM_CONFIG is not set\n";
        return 1;
    }
    std::ifstream file(config);
    std::string statePath;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("state_file ", 0) == 0) statePath = line.substr(11);
    }
    std::ifstream state(statePath);
    if (statePath.empty() || !state) {
        std::cerr << "velnor-sim-state: the configuration names no state_file\n";
        return 1;
    }
    std::cout << state.rdbuf();
    return 0;
}
