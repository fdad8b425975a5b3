#include "Commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>

#include "lib/AtomicFile.h"
#include "lib/BackupReading.h"
#include "lib/BackupWriter.h"
#include "lib/DoctorFacts.h"
#include "lib/Json.h"
#include "lib/Attached.h"
#include "lib/Keypad.h"
#include "lib/Render.h"
#include "lib/Station.h"
#include "lib/Text.h"
#include "lib/UtcTime.h"
#include "ProgressDisplay.h"

namespace velnorcli {

namespace {

std::string Paint(const Console& console, const char* code, const std::string& text) {
    return console.colourErr ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
}

// A failure: JSON on standard output, or a message on standard error.
int Fail(const Request& request, Console& console, const Failure& failure, const KEYPAD_ENTRY* keypad = nullptr) {
    if (request.json) console.out << Dump(ErrorJson(failure, keypad));
    // A refused command line is told on standard error also to a script, with the usage.
    if (!request.json || failure.status == kUsage) {
        console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << failure.message << "\n";
    }
    if (failure.status == kUsage) console.err << console.usage;
    return failure.status;
}

void Warn(const Console& console, const std::string& text) {
    console.err << "velnor: " << Paint(console, "1;33", "warning") << ": " << text << "\n";
}

std::string UtcNow() { return UtcTime(std::chrono::system_clock::now(), false); }

// The station's files (--serials, --log), checked before any keypad is involved.
struct StationFiles {
    std::optional<SerialLedger> serials;
    std::optional<StationLog> log;
};

std::optional<Failure> OpenStationFiles(const Request& request, StationFiles& files) {
    if (!request.serials.empty()) {
        files.serials.emplace(request.serials);
        if (auto failure = files.serials->Check()) return Failure{failure->status, EscapeControl(failure->message)};
    }
    if (!request.log.empty()) {
        files.log.emplace(request.log);
        if (auto failure = files.log->Open()) return Failure{failure->status, EscapeControl(failure->message)};
    }
    return std::nullopt;
}

KeypadReport ReadingReport(const StatusReading& reading, KeypadResult result, const Failure& failure,
                           std::chrono::steady_clock::time_point start) {
    KeypadReport report;
    report.keypad = reading.keypad;
    report.result = result;
    report.status = failure.status;
    report.message = failure.message;
    report.before = reading.status;
    report.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return report;
}

// For the commands that only read: one log line per keypad. The status, raised to 7 when a
// line cannot be written.
int LogReadings(const Request& request, const Console& console, const StationFiles& files,
                const std::vector<KeypadReport>& reports, const std::optional<RestoreSource>& file, int status) {
    if (!files.log) return status;
    const char* command = request.command == Command::Verify ? "verify" : "status";
    for (const KeypadReport& report : reports) {
        if (auto problem = LogReport(*files.log, report, command, VELNOR_VERSION, file)) {
            Warn(console, EscapeControl(problem->message));
            status = std::max<int>(status, problem->status);
        }
    }
    return status;
}

// The keypads a command means, from the attached ones.
struct Selected {
    std::vector<KEYPAD_ENTRY> keypads;
    std::optional<Failure> failure;
};

Selected Select(const Selector& selector) {
    std::vector<KEYPAD_ENTRY> attached;
    if (auto failure = ListAttached(attached)) return {{}, failure};
    std::vector<SerialReading> serials;
    if (selector.by == SelectBy::Serial) {
        for (const StatusReading& reading : ReadStatuses(attached)) {
            serials.push_back(reading.status ? SerialReading{reading.status->SerialNumber, {}}
                                             : SerialReading{std::nullopt, reading.failure});
        }
    }
    const Chosen chosen = Choose(attached, selector, serials);
    if (chosen.failure.status != kDone) return {{}, chosen.failure};
    Selected selected;
    for (std::size_t index : chosen.keypads) selected.keypads.push_back(attached[index]);
    return selected;
}

// The files of --log and --serials opened, then the keypads chosen: a failure of either ends
// the command before any keypad is opened.
std::optional<Failure> OpenAndSelect(const Request& request, StationFiles& files, Selected& selected) {
    if (auto failure = OpenStationFiles(request, files)) return failure;
    selected = Select(request.selector);
    return selected.failure;
}

int List(const Request& request, Console& console) {
    std::vector<KEYPAD_ENTRY> keypads;
    if (auto failure = ListAttached(keypads)) return Fail(request, console, *failure);
    if (request.json) {
        console.out << Dump(ListJson(keypads));
    } else if (keypads.empty()) {
        console.err << "velnor: no keypad is attached\n";
    } else {
        console.out << RenderList(keypads);
    }
    return kDone;
}

int Status(const Request& request, Console& console) {
    StationFiles files;
    Selected selected;
    if (auto failure = OpenAndSelect(request, files, selected)) return Fail(request, console, *failure);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<StatusReading> readings = ReadStatuses(selected.keypads);
    std::vector<KeypadReport> reports;
    for (const StatusReading& reading : readings) {
        reports.push_back(ReadingReport(reading, reading.status ? KeypadResult::Read : KeypadResult::Failed, reading.failure, start));
    }
    const int logged = LogReadings(request, console, files, reports, std::nullopt, kDone);
    if (!request.selector.all) {
        const StatusReading& reading = readings.front();
        if (!reading.status) return std::max(logged, Fail(request, console, reading.failure, &reading.keypad));
        if (request.json) {
            console.out << Dump(StatusJson(reading.keypad, *reading.status));
        } else {
            console.out << RenderStatus(reading.keypad, *reading.status, KeyNames::ReadFile());
        }
        return logged;
    }
    int status = logged;
    for (const StatusReading& reading : readings) status = std::max<int>(status, reading.failure.status);
    if (request.json) {
        console.out << Dump(StatusAllJson(readings));
        return status;
    }
    const KeyNames names = KeyNames::ReadFile();
    bool first = true;
    for (const StatusReading& reading : readings) {
        if (reading.status) {
            console.out << (first ? "" : "\n") << RenderStatus(reading.keypad, *reading.status, names);
            first = false;
        } else {
            console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << reading.failure.message << "\n";
        }
    }
    return status;
}

int Backup(const Request& request, Console& console) {
    const std::string& file = request.files.front();
    const bool toStdout = file == "-";
    if (toStdout && request.json) {
        return Fail(request, console, {kUsage, "backup to standard output (-) cannot be combined with --json"});
    }
    if (!toStdout) {
        if (auto failure = RefuseExisting(file, request.force)) return Fail(request, console, *failure);
    }
    const Selected selected = Select(request.selector);
    if (selected.failure) return Fail(request, console, *selected.failure);
    Keypad keypad(selected.keypads.front());
    DEVICE_INFO status;
    std::optional<Failure> failure = keypad.Open();
    if (!failure) failure = keypad.ReadStatus(status);
    if (failure) return Fail(request, console, *failure, &keypad.Entry());

    const BackupText backup = WriteBackup(status, Provenance{UtcNow(), VELNOR_VERSION, keypad.Entry()});
    if (toStdout) {
        console.out << backup.text << std::flush;
    } else if (auto written = WriteFileAtomically(file, backup.text, request.force)) {
        return Fail(request, console, *written, &keypad.Entry());
    }
    if (request.json) {
        console.out << Dump(BackupJson(keypad.Entry(), file, backup.warnings));
    } else {
        for (const std::string& warning : backup.warnings) Warn(console, warning);
        if (!toStdout) {
            console.err << "velnor: backup of keypad " << KeypadName(keypad.Entry()) << " written to "
                        << EscapeControl(file) << (backup.warnings.empty() ? "" : " (incomplete, see the warnings)")
                        << "\n";
        }
    }
    return backup.warnings.empty() ? kDone : kDifferent;
}

int Verify(const Request& request, Console& console) {
    auto file = ReadBackupPath(request.files.front());
    if (auto* failure = std::get_if<Failure>(&file)) return Fail(request, console, *failure);
    const BackupContent& content = std::get<BackupContent>(file);
    StationFiles files;
    Selected selected;
    if (auto failure = OpenAndSelect(request, files, selected)) return Fail(request, console, *failure);
    const auto start = std::chrono::steady_clock::now();

    std::vector<VerifyOutcome> outcomes;
    const std::vector<StatusReading> readings = ReadStatuses(selected.keypads);
    for (const StatusReading& reading : readings) {
        VerifyOutcome outcome{reading.keypad, std::nullopt, reading.failure};
        if (reading.status) {
            outcome.differences = Compare(SettingsOfKeypad(*reading.status), content.settings);
            outcome.failure.status = outcome.differences->empty() ? kDone : kDifferent;
        }
        outcomes.push_back(outcome);
    }
    std::vector<KeypadReport> reports;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const VerifyOutcome& outcome = outcomes[i];
        const KeypadResult result = !outcome.differences            ? KeypadResult::Failed
                              : outcome.differences->empty() ? KeypadResult::Equal
                                                             : KeypadResult::Different;
        KeypadReport report = ReadingReport(readings[i], result, outcome.failure, start);
        // The log's changes: what a restore would change.
        for (const Difference& difference : outcome.differences.value_or(std::vector<Difference>{})) {
            report.changes.push_back({difference.field, difference.left, difference.right});
        }
        reports.push_back(report);
    }
    int status = LogReadings(request, console, files, reports, RestoreSource{request.files.front(), content}, kDone);
    for (const VerifyOutcome& outcome : outcomes) status = std::max<int>(status, outcome.failure.status);

    // The firmware name is shown beside the result but never compared: nothing writes it.
    const auto firmware = [&readings](std::size_t i) {
        return "firmware " + EscapeControl(TrimmedRight(readings[i].status->FirmwareName)) + ", not compared";
    };
    if (!request.selector.all) {
        const VerifyOutcome& outcome = outcomes.front();
        if (!outcome.differences) return Fail(request, console, outcome.failure, &outcome.keypad);
        if (request.json) {
            console.out << Dump(DifferencesJson(*outcome.differences, "keypad", "file"));
        } else if (outcome.differences->empty()) {
            console.out << "equal: keypad " << KeypadName(outcome.keypad) << " holds the settings of "
                        << EscapeControl(request.files.front()) << " (" << firmware(0) << ")\n";
        } else {
            console.out << "keypad " << KeypadName(outcome.keypad) << " (" << firmware(0) << ") differs from "
                        << EscapeControl(request.files.front()) << ":\n"
                        << RenderDifferences(*outcome.differences, "KEYPAD", "FILE");
        }
        return status;
    }
    if (request.json) {
        console.out << Dump(VerifyAllJson(outcomes));
        return status;
    }
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const VerifyOutcome& outcome = outcomes[i];
        if (!outcome.differences) {
            console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << outcome.failure.message << "\n";
        } else if (outcome.differences->empty()) {
            console.out << KeypadName(outcome.keypad) << ": equal (" << firmware(i) << ")\n";
        } else {
            console.out << KeypadName(outcome.keypad) << ": " << outcome.differences->size() << " differences ("
                        << firmware(i) << ")\n"
                        << RenderDifferences(*outcome.differences, "KEYPAD", "FILE");
        }
    }
    return status;
}

int Diff(const Request& request, Console& console) {
    auto older = ReadBackupPath(request.files[0]);
    if (auto* failure = std::get_if<Failure>(&older)) return Fail(request, console, *failure);
    auto newer = ReadBackupPath(request.files[1]);
    if (auto* failure = std::get_if<Failure>(&newer)) return Fail(request, console, *failure);
    const std::vector<Difference> differences =
        Compare(std::get<BackupContent>(older).settings, std::get<BackupContent>(newer).settings);
    if (request.json) {
        console.out << Dump(DifferencesJson(differences, "old", "new"));
    } else if (differences.empty()) {
        console.out << "equal: a restore of either file writes the same settings\n";
    } else {
        console.out << RenderDifferences(differences, "OLD", "NEW");
    }
    return differences.empty() ? kDone : kDifferent;
}

// The options of a station run, and the live lines on a terminal while it runs.
std::vector<KeypadReport> RunStation(const Request& request, Console& console, const std::vector<KEYPAD_ENTRY>& keypads,
                                     StationFiles& files, const char* command,
                                     const std::function<std::vector<KeypadReport>(const StationOptions&)>& run) {
    StationOptions options;
    options.command = command;
    options.version = VELNOR_VERSION;
    options.force = request.force;
    options.dryRun = request.dryRun;
    options.flash = !request.noFlash;
    options.restartTimeoutMs = static_cast<int>(request.timeoutSeconds * 1000 + 0.5);
    options.serials = files.serials ? &*files.serials : nullptr;
    options.log = files.log ? &*files.log : nullptr;
    options.stop = console.signals != nullptr ? &console.signals->Stop() : nullptr;
    options.notice = [&console](const std::string& text) {
        static std::mutex telling;  // the keypads' threads
        const std::lock_guard lock(telling);
        console.err << "velnor: " << EscapeControl(text) << "\n" << std::flush;
    };
    if (!console.errTerminal || request.quiet || request.json) return run(options);
    std::vector<std::string> names;
    for (const KEYPAD_ENTRY& keypad : keypads) names.push_back(KeypadName(keypad));
    ProgressBoard board(names);
    options.progress = &board;
    const ProgressDisplay display(board, console.err);
    return run(options);
}

// The final report: --json, one keypad's changes and result, or one line per keypad.
int ReportStation(const Request& request, Console& console, const std::vector<KeypadReport>& reports) {
    const int status = WorstStatus(reports);
    const char* signal = console.signals != nullptr ? console.signals->Which() : nullptr;
    if (request.json) {
        console.out << Dump(ReportsJson(reports));
    } else if (!request.selector.all && reports.size() == 1) {
        const KeypadReport& report = reports.front();
        const bool planned = report.result == KeypadResult::Planned;
        if (report.status == kDone && !report.changes.empty()) {
            console.out << RenderDifferences(report.changes, planned ? "NOW" : "BEFORE", "AFTER");
        }
        if (report.status != kDone && !report.differences.empty()) {
            console.out << RenderDifferences(report.differences, "KEYPAD", "WANTED");
        }
        if (report.status == kDone) {
            console.out << ResultName(report.result) << ": " << report.message << "\n";
        } else {
            console.err << "velnor: " << Paint(console, "1;31", std::string(ResultName(report.result))) << ": " << report.message << "\n";
        }
    } else {
        // A dry run's plan, keypad by keypad, before the one line each.
        for (const KeypadReport& report : reports) {
            if (!request.dryRun || report.changes.empty()) continue;
            console.out << KeypadName(report.keypad) << ":\n" << RenderDifferences(report.changes, "NOW", "AFTER");
        }
        console.out << RenderReports(reports);
    }
    if (signal != nullptr && status == kInterrupted && !request.json) {
        console.err << "velnor: stopped by " << signal << " after the step each keypad was at (status 130)\n";
    }
    return status;
}

// One line however many: each serial left is also in the record, where the awk line finds it.
void WarnUnknownSerials(const Console& console, const StationFiles& files) {
    if (!files.serials) return;
    const std::vector<std::string> unknown = files.serials->Unknown();
    if (unknown.empty()) return;
    std::string some;
    for (std::size_t i = 0; i < std::min<std::size_t>(unknown.size(), 3); ++i) some += (i == 0 ? "" : ", ") + unknown[i];
    if (unknown.size() > 3) some += ", ...";
    const std::string record = EscapeControl(files.serials->RecordPath());
    Warn(console, std::to_string(unknown.size()) + (unknown.size() == 1 ? " serial" : " serials") + " (" + EscapeControl(some) +
                      ") with an unknown outcome: a velnor of this host stopped between writing a keypad and recording "
                      "it, and none is handed out again. To resolve them, see which keypad holds each (velnor status "
                      "--all) and append to " + record + " a line \"SERIAL taken TIME HOST KEYPAD\", or \"SERIAL "
                      "returned\" when none holds it; awk '{ s[$1] = $2 } END { for (k in s) if (s[k] == \"taking\") "
                      "print k }' " + record + " lists them (velnor(1), SERIAL NUMBER LISTS)");
}

int Restore(const Request& request, Console& console) {
    auto file = ReadBackupPath(request.files.front(), console.signals != nullptr ? &console.signals->Stop() : nullptr);
    if (auto* failure = std::get_if<Failure>(&file)) return Fail(request, console, *failure);
    const RestoreSource source{request.files.front(), std::get<BackupContent>(std::move(file))};
    StationFiles files;
    Selected selected;
    if (auto failure = OpenAndSelect(request, files, selected)) return Fail(request, console, *failure);
    WarnUnknownSerials(console, files);
    const std::vector<KeypadReport> reports =
        RunStation(request, console, selected.keypads, files, "restore",
                   [&](const StationOptions& options) { return RestoreKeypads(selected.keypads, source, options); });
    return ReportStation(request, console, reports);
}

int Set(const Request& request, Console& console) {
    const auto assignments = ParseAssignments(request.assignments);
    if (const auto* refusal = std::get_if<std::string>(&assignments)) {
        return Fail(request, console, {kUsage, EscapeControl(*refusal)});
    }
    StationFiles files;
    Selected selected;
    if (auto failure = OpenAndSelect(request, files, selected)) return Fail(request, console, *failure);
    const std::vector<KeypadReport> reports = RunStation(request, console, selected.keypads, files, "set", [&](const StationOptions& options) {
        return SetKeypads(selected.keypads, std::get<std::vector<Assignment>>(assignments), options);
    });
    return ReportStation(request, console, reports);
}

int Reset(const Request& request, Console& console) {
    StationFiles files;
    Selected selected;
    if (auto failure = OpenAndSelect(request, files, selected)) return Fail(request, console, *failure);
    const std::vector<KeypadReport> reports =
        RunStation(request, console, selected.keypads, files, "reset",
                   [&](const StationOptions& options) { return ResetKeypads(selected.keypads, options); });
    return ReportStation(request, console, reports);
}

// Where this installation keeps the udev rule: beside the program, below the same prefix.
std::string RuleSource() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const std::filesystem::path rule =
        program.parent_path().parent_path() / VELNOR_UDEV_RULES_DIR / "70-velnor-keypad.rules";
    return std::filesystem::exists(rule, error) ? rule.string() : std::string();
}

int Doctor(const Request& request, Console& console) {
    const Diagnosis diagnosis = Diagnose(GatherDoctorFacts(RuleSource()));
    if (request.json) {
        console.out << Dump(DoctorJson(diagnosis));
        return diagnosis.result.status;
    }
    console.out << RenderDiagnosis(diagnosis);
    if (diagnosis.result.status == kDone) {
        console.out << diagnosis.result.message << "\n";
        return kDone;
    }
    return Fail(request, console, diagnosis.result);
}

}  // namespace

int RunCommand(const Request& request, Console& console) {
    switch (request.command) {
    case Command::List: return List(request, console);
    case Command::Status: return Status(request, console);
    case Command::Backup: return Backup(request, console);
    case Command::Verify: return Verify(request, console);
    case Command::Diff: return Diff(request, console);
    case Command::Doctor: return Doctor(request, console);
    case Command::Restore: return Restore(request, console);
    case Command::Set: return Set(request, console);
    case Command::Reset: return Reset(request, console);
    }
    return kUsage;
}

}  // namespace velnorcli
