// The keypad behind a simulated device: its settings in RAM and flash, and what it answers to
// the output reports it is sent. Written apart from the library's protocol code.
//
// Output reports: 3F 40, then the frame body (STX, command as two hex characters, payload
// length as two hex characters, raw payload, ETX, XOR checksum from STX through ETX); a body
// longer than 62 bytes goes on in further reports behind 3F 40. The keypad answers each command
// with one input report: [0] 3F, [1] index of the ETX, STX, type and data length as hex text,
// data, ETX, checksum, zero padding to 64 bytes. A frame it cannot read, or a command it does
// not know, gets a NAK report.
#ifndef VELNOR_SIM_SIMKEYPAD_H
#define VELNOR_SIM_SIMKEYPAD_H

#include <chrono>
#include <random>
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
    explicit SimKeypad(const DeviceSetup& setup);

    struct Outcome {
        std::vector<TimedReport> replies;
        bool stateChanged = false;
        // The keypad restarts (ResetToFactoryDefault) once its reply is out, at this time.
        std::optional<Clock::time_point> restartAt;
        // It is unplugged now (an Unplug fault), for this many ms; 0: for good.
        std::optional<int> unplugForMs;
    };
    Outcome OnOutputReport(const Report& report, Clock::time_point now);
    // WriteFails or ShortWrite when such a fault refuses this report (the first of a command's
    // frame): the write fails and the keypad never sees it. None: the report goes through.
    std::optional<FaultKind> RefusesWrite(const Report& report);

    KeypadSettings ram;
    KeypadSettings flash;
    int replyDelayMs = 0;
    int frameErrors = 0;  // output reports that did not make a readable frame

    struct CommandFault {
        int command;  // a command byte or kAnyCommand
        Fault fault;
    };
    std::vector<CommandFault> faults;
    unsigned randomSeed = 0;
    int randomPercent = 0;
    std::vector<FaultKind> randomKinds;

private:
    struct Command {
        int code = 0;
        std::vector<std::uint8_t> payload;
    };
    // Collects frame bytes; a complete frame is returned, a broken one counts as an error.
    bool Assemble(const Report& report, Command& command);
    // Carries the command out; returns the reply's type and data, or false for a NAK.
    bool Execute(const Command& command, int& type, std::vector<std::uint8_t>& data, bool& restart);
    std::vector<std::uint8_t> StatusData() const;
    Fault PickFault(int command);
    std::vector<Report> Misbehave(const Fault& fault, int type, const std::vector<std::uint8_t>& data);

    std::vector<std::uint8_t> body_;  // frame bytes of a frame spread over several reports
    std::size_t expected_ = 0;        // its full body length
    std::mt19937 random_;
    bool randomStarted_ = false;
};

// The keypad's reply report, as a well-behaved keypad sends it (exposed for the tests of the
// simulator itself).
Report BuildReplyReport(int type, const std::vector<std::uint8_t>& data);

}  // namespace velnorsim

#endif
