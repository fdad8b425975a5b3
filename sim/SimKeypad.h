// The keypad behind a simulated device: its settings in RAM and flash, and what it answers to
// the output reports it is sent. Written apart from the library's protocol code.
#ifndef VELNOR_SIM_SIMKEYPAD_H
#define VELNOR_SIM_SIMKEYPAD_H

#include <chrono>
#include <vector>

#include "velnor_sim/SimControl.h"

namespace velnorsim {

using Clock = std::chrono::steady_clock;

struct TimedReport {
    Clock::time_point readyAt;
    Report bytes;
};

class SimKeypad {
public:
    explicit SimKeypad(const DeviceSpec& spec);

    struct Outcome {
        std::vector<TimedReport> replies;
        bool stateChanged = false;
        bool reset = false;  // the keypad restarts: it is gone for a while
    };
    Outcome OnOutputReport(const Report& report, Clock::time_point now);

    KeypadSettings ram;
    KeypadSettings flash;

    struct CommandFault {
        int command;  // a command byte or kAnyCommand
        Fault fault;
    };
    std::vector<CommandFault> faults;
    unsigned randomSeed = 0;
    int randomPercent = 0;
    std::vector<FaultKind> randomKinds;
};

}  // namespace velnorsim

#endif
