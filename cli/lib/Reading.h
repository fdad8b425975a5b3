// The commands that only read (status, verify): what each chosen keypad showed, as reports
// for the output and the log.
#ifndef VELNOR_CLI_READING_H
#define VELNOR_CLI_READING_H

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Reports.h"
#include "Settings.h"
#include "Station.h"
#include "StationLog.h"

namespace velnorcli {

// status: one report per reading, Read or Failed.
std::vector<KeypadReport> StatusReports(const std::vector<StatusReading>& readings,
                                        std::chrono::steady_clock::time_point start);

// verify: each keypad that could be read, compared with what the file would leave it holding.
std::vector<VerifyOutcome> VerifyOutcomes(const std::vector<StatusReading>& readings, const Settings& file);
// Equal, Different or Failed; the changes are what a restore would change.
std::vector<KeypadReport> VerifyReports(const std::vector<StatusReading>& readings,
                                        const std::vector<VerifyOutcome>& outcomes,
                                        std::chrono::steady_clock::time_point start);

// One log line per report; the failures of lines that could not be written.
std::vector<Failure> LogReadings(const StationLog& log, const std::vector<KeypadReport>& reports, const char* command,
                                 const std::string& version, const std::optional<RestoreSource>& file);

}  // namespace velnorcli

#endif
