// The commands that write, on one keypad or on every attached keypad at once (one PlixoApi
// object and thread each, so that one keypad's failure neither stops nor slows the others),
// with the station's options: fresh serial numbers from a list (--serials), the traceability
// log (--log), live progress, and a stop flag that SIGINT or SIGTERM sets.
#ifndef VELNOR_CLI_STATION_H
#define VELNOR_CLI_STATION_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "BackupReading.h"
#include "ProgressBoard.h"
#include "Reports.h"
#include "Restore.h"
#include "SerialLedger.h"
#include "SetValues.h"
#include "StationLog.h"

namespace velnorcli {

struct StationOptions {
    std::string command;  // as the log names it: restore, set, reset
    std::string version;  // velnor's, for the log
    bool force = false;
    bool dryRun = false;
    bool flash = true;  // set: false with --no-flash
    int restartTimeoutMs = 10000;
    SerialLedger* serials = nullptr;  // restore --serials
    const StationLog* log = nullptr;
    const std::atomic<bool>* stop = nullptr;
    ProgressBoard* progress = nullptr;  // line i is keypad i
    // Told what a keypad waits for, when it waits long on another process (a message for people;
    // with progress, its line shows it instead).
    std::function<void(const std::string&)> notice;
};

struct RestoreSource {
    std::string name;  // the file as given
    BackupContent content;
};

// Reads every keypad first; with serials, gives them serials in port order (SerialLedger::Give)
// before any is written. A failure there (too few free serials, the record's files, a stop)
// writes no keypad: each report (and log line) says so, and the failure is the run's.
Result<std::vector<KeypadReport>> RestoreKeypads(const std::vector<KEYPAD_ENTRY>& keypads, const RestoreSource& source,
                                                 const StationOptions& options);
// Without --serials: the warning that these keypads would all get the file's serial number, ""
// for fewer than two.
std::string SharedSerialWarning(std::size_t keypads, const RestoreSource& source);
std::vector<KeypadReport> SetKeypads(const std::vector<KEYPAD_ENTRY>& keypads,
                                     const std::vector<Assignment>& assignments, const StationOptions& options);
std::vector<KeypadReport> ResetKeypads(const std::vector<KEYPAD_ENTRY>& keypads, const StationOptions& options);

// One log line for a keypad, also for the commands that only read (verify, status): nothing, or
// why it was not written.
Done LogReport(const StationLog& log, const KeypadReport& report, const std::string& command, const std::string& version,
               const std::optional<RestoreSource>& file, const std::atomic<bool>* stop = nullptr);

// The largest status of all keypads.
ExitStatus WorstStatus(const std::vector<KeypadReport>& reports);

}  // namespace velnorcli

#endif
