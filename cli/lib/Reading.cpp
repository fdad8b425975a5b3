#include "Reading.h"

namespace velnorcli {

namespace {

KeypadReport ReadingReport(const StatusReading& reading, KeypadResult result, const Failure& failure,
                           std::chrono::steady_clock::time_point start) {
    KeypadReport report;
    report.keypad = reading.keypad;
    report.result = result;
    report.status = failure.status;
    report.message = WithHint(failure);
    report.before = reading.status;
    report.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace

std::vector<KeypadReport> StatusReports(const std::vector<StatusReading>& readings,
                                        std::chrono::steady_clock::time_point start) {
    std::vector<KeypadReport> reports;
    for (const StatusReading& reading : readings) {
        reports.push_back(ReadingReport(reading, reading.status ? KeypadResult::Read : KeypadResult::Failed,
                                        reading.failure, start));
    }
    return reports;
}

std::vector<VerifyOutcome> VerifyOutcomes(const std::vector<StatusReading>& readings, const Settings& file) {
    std::vector<VerifyOutcome> outcomes;
    for (const StatusReading& reading : readings) {
        VerifyOutcome outcome{reading.keypad, std::nullopt, reading.failure};
        if (reading.status) {
            outcome.differences = Compare(SettingsOfKeypad(*reading.status), file);
            outcome.failure.status = outcome.differences->empty() ? kDone : kDifferent;
        }
        outcomes.push_back(outcome);
    }
    return outcomes;
}

std::vector<KeypadReport> VerifyReports(const std::vector<StatusReading>& readings,
                                        const std::vector<VerifyOutcome>& outcomes,
                                        std::chrono::steady_clock::time_point start) {
    std::vector<KeypadReport> reports;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const VerifyOutcome& outcome = outcomes[i];
        const KeypadResult result = !outcome.differences            ? KeypadResult::Failed
                                    : outcome.differences->empty() ? KeypadResult::Equal
                                                                   : KeypadResult::Different;
        KeypadReport report = ReadingReport(readings[i], result, outcome.failure, start);
        report.changes = outcome.differences.value_or(std::vector<Difference>{});  // what a restore would change
        reports.push_back(std::move(report));
    }
    return reports;
}

std::vector<Failure> LogReadings(const StationLog& log, const std::vector<KeypadReport>& reports, const char* command,
                                 const std::string& version, const std::optional<RestoreSource>& file) {
    std::vector<Failure> problems;
    for (const KeypadReport& report : reports) {
        if (const Done logged = LogReport(log, report, command, version, file); !logged) problems.push_back(logged.failure());
    }
    return problems;
}

}  // namespace velnorcli
