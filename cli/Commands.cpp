#include "Commands.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>

#include "lib/AtomicFile.h"
#include "lib/BackupReading.h"
#include "lib/BackupWriter.h"
#include "lib/DoctorFacts.h"
#include "lib/Json.h"
#include "lib/Attached.h"
#include "lib/Keypad.h"
#include "lib/Reading.h"
#include "lib/Render.h"
#include "lib/SerialsCommand.h"
#include "lib/Station.h"
#include "lib/Text.h"
#include "lib/UtcTime.h"
#include "lib/db/Database.h"
#include "lib/station/Feedback.h"
#include "lib/station/StationBoard.h"
#include "lib/station/StationRun.h"
#include "ProgressDisplay.h"

namespace velnorcli {

namespace {

std::string Paint(const Console& console, const char* code, const std::string& text) {
    return console.colourErr ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
}

void PrintError(const Console& console, const std::string& message) {
    console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << message << "\n";
}

// The message, and the next step on a line of its own.
void PrintFailure(const Console& console, const Failure& failure) {
    PrintError(console, failure.message);
    if (!failure.hint.empty()) console.err << "velnor: hint: " << failure.hint << "\n";
}

std::string WarningText(const Console& console, const std::string& text) {
    return "velnor: " + Paint(console, "1;33", "warning") + ": " + text + "\n";
}

void Warn(const Console& console, const std::string& text) { console.err << WarningText(console, text); }

std::string UtcNow() { return UtcTime(std::chrono::system_clock::now(), false); }

// The station's files (--serials, --log), checked before any keypad is involved.
struct StationFiles {
    std::unique_ptr<SerialLedger> serials;
    std::optional<StationLog> log;
};

std::string StationName(const Request& request) { return request.station.empty() ? HostName() : request.station; }

Done OpenStationFiles(const Request& request, StationFiles& files) {
    if (!request.serials.empty()) {
        files.serials = OpenSerialLedger(request.serials, StationName(request));
        if (const Done checked = files.serials->Check(); !checked) {
            return Failure{checked.failure().status, EscapeControl(checked.failure().message), checked.failure().hint};
        }
    }
    if (!request.log.empty()) {
        files.log.emplace(request.log, StationName(request));
        if (const Done opened = files.log->Open(); !opened) {
            return Failure{opened.failure().status, EscapeControl(opened.failure().message), opened.failure().hint};
        }
    }
    return {};
}

// The files of --log and --serials opened, then the keypads chosen: a failure of either ends
// the command before any keypad is opened.
Result<std::vector<KEYPAD_ENTRY>> OpenAndSelect(const Request& request, StationFiles& files) {
    if (const Done opened = OpenStationFiles(request, files); !opened) return opened.failure();
    return SelectKeypads(request.selector);
}

// For the commands that only read: their log lines, each one that could not be written a
// warning; the run's status is the worst of the keypads' and the log's.
int LogAndRate(const Request& request, const Console& console, const StationFiles& files,
               const std::vector<KeypadReport>& reports, const std::optional<RestoreSource>& file) {
    int status = WorstStatus(reports);
    if (!files.log) return status;
    const char* command = request.command == Command::Verify ? "verify" : "status";
    for (const Failure& problem : LogReadings(*files.log, reports, command, VELNOR_VERSION, file)) {
        Warn(console, EscapeControl(problem.message));
        status = std::max<int>(status, problem.status);
    }
    return status;
}

int List(const Request& request, Console& console) {
    const auto keypads = ListAttached();
    if (!keypads) return ReportFailure(request, console, keypads.failure());
    if (request.json) {
        console.out << Dump(ListJson(*keypads));
    } else if (keypads->empty()) {
        console.err << "velnor: no keypad is attached\nvelnor: hint: " << kFindOutWhy << "\n";
    } else {
        console.out << RenderList(*keypads);
    }
    return kDone;
}

int Status(const Request& request, Console& console) {
    StationFiles files;
    const auto selected = OpenAndSelect(request, files);
    if (!selected) return ReportFailure(request, console, selected.failure());
    const auto start = std::chrono::steady_clock::now();
    const std::vector<StatusReading> readings = ReadStatuses(*selected);
    const int status = LogAndRate(request, console, files, StatusReports(readings, start), std::nullopt);
    if (request.json) {
        console.out << Dump(StatusJson(readings));
        return status;
    }
    if (!request.selector.all) {
        const StatusReading& reading = readings.front();
        if (!reading.status) return std::max(status, ReportFailure(request, console, reading.failure));
        console.out << RenderStatus(reading.keypad, *reading.status, KeyNames::ReadFile());
        return status;
    }
    const KeyNames names = KeyNames::ReadFile();
    bool first = true;
    for (const StatusReading& reading : readings) {
        if (reading.status) {
            console.out << (first ? "" : "\n") << RenderStatus(reading.keypad, *reading.status, names);
            first = false;
        } else {
            PrintFailure(console, reading.failure);
        }
    }
    return status;
}

int Backup(const Request& request, Console& console) {
    const std::string& file = request.files.front();
    const bool toStdout = file == "-";
    if (toStdout && request.json) {
        return ReportFailure(request, console, {kUsage, "backup to standard output (-) cannot be combined with --json"});
    }
    if (!toStdout) {
        if (const Done free = RefuseExisting(file, request.force); !free) return ReportFailure(request, console, free.failure());
    }
    const auto selected = SelectKeypads(request.selector);
    if (!selected) return ReportFailure(request, console, selected.failure());
    Keypad keypad(selected->front());
    const Done opened = keypad.Open();
    const Result<DEVICE_INFO> status = opened ? keypad.ReadStatus() : Result<DEVICE_INFO>(opened.failure());
    if (!status) return ReportFailure(request, console, status.failure(), &keypad.Entry());

    const BackupText backup = WriteBackup(*status, Provenance{UtcNow(), VELNOR_VERSION, keypad.Entry()});
    if (toStdout) {
        console.out << backup.text << std::flush;
    } else if (const Done written = WriteFileAtomically(file, backup.text, request.force); !written) {
        return ReportFailure(request, console, written.failure(), &keypad.Entry());
    }
    if (request.json) {
        console.out << Dump(BackupJson(keypad.Entry(), file, backup.warnings));
    } else {
        for (const std::string& warning : backup.warnings) Warn(console, warning);
        if (!toStdout) console.err << "velnor: " << RenderBackupWritten(keypad.Entry(), file, !backup.warnings.empty()) << "\n";
    }
    return backup.warnings.empty() ? kDone : kDifferent;
}

int Verify(const Request& request, Console& console) {
    const auto file = ReadBackupPath(request.files.front());
    if (!file) return ReportFailure(request, console, file.failure());
    StationFiles files;
    const auto selected = OpenAndSelect(request, files);
    if (!selected) return ReportFailure(request, console, selected.failure());
    const auto start = std::chrono::steady_clock::now();
    const std::vector<StatusReading> readings = ReadStatuses(*selected);
    const std::vector<VerifyOutcome> outcomes = VerifyOutcomes(readings, file->settings);
    const int status = LogAndRate(request, console, files, VerifyReports(readings, outcomes, start),
                                  RestoreSource{request.files.front(), *file});
    if (request.json) {
        console.out << Dump(VerifyJson(outcomes, request.files.front()));
        return status;
    }
    if (!request.selector.all) {
        const VerifyOutcome& outcome = outcomes.front();
        if (!outcome.differences) return std::max(status, ReportFailure(request, console, outcome.failure));
        console.out << RenderVerify(outcome, *readings.front().status, request.files.front(), KeyNames::ReadFile());
        return status;
    }
    const KeyNames names = KeyNames::ReadFile();
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].differences) {
            console.out << RenderVerifyEntry(outcomes[i], *readings[i].status, names);
        } else {
            PrintFailure(console, outcomes[i].failure);
        }
    }
    return status;
}

int Diff(const Request& request, Console& console) {
    const auto older = ReadBackupPath(request.files[0]);
    if (!older) return ReportFailure(request, console, older.failure());
    const auto newer = ReadBackupPath(request.files[1]);
    if (!newer) return ReportFailure(request, console, newer.failure());
    const std::vector<Difference> differences = Compare(older->settings, newer->settings);
    if (request.json) {
        console.out << Dump(DiffJson(differences));
    } else if (differences.empty()) {
        console.out << "equal: a restore of either file writes the same settings\n";
    } else {
        console.out << RenderDifferences(differences, "OLD", "NEW", KeyNames::ReadFile());
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
    options.serials = files.serials.get();
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
    const KeyNames names = request.json ? KeyNames() : KeyNames::ReadFile();
    if (request.json) {
        console.out << Dump(ReportsJson(reports));
    } else if (!request.selector.all && reports.size() == 1) {
        const KeypadReport& report = reports.front();
        const bool planned = report.result == KeypadResult::Planned;
        if (report.status == kDone && !report.changes.empty()) {
            console.out << RenderDifferences(report.changes, planned ? "NOW" : "BEFORE", "AFTER", names);
        }
        if (report.status != kDone && !report.differences.empty()) {
            console.out << RenderDifferences(report.differences, "KEYPAD", "WANTED", names);
        }
        if (report.status == kDone) {
            console.out << ResultName(report.result) << ": " << report.message << "\n";
        } else {
            PrintError(console, std::string(ResultName(report.result)) + ": " + report.message);
        }
    } else {
        // A dry run's plan, keypad by keypad, before the one line each.
        for (const KeypadReport& report : reports) {
            if (!request.dryRun || report.changes.empty()) continue;
            console.out << KeypadName(report.keypad) << ":\n" << RenderDifferences(report.changes, "NOW", "AFTER", names);
        }
        console.out << RenderReports(reports);
    }
    if (signal != nullptr && status == kInterrupted && !request.json) {
        console.err << "velnor: " << RenderStopped(signal) << "\n";
    }
    return status;
}

int Restore(const Request& request, Console& console) {
    auto file = ReadBackupPath(request.files.front(), console.signals != nullptr ? &console.signals->Stop() : nullptr);
    if (!file) return ReportFailure(request, console, file.failure());
    const RestoreSource source{request.files.front(), std::move(*file)};
    StationFiles files;
    const auto selected = OpenAndSelect(request, files);
    if (!selected) return ReportFailure(request, console, selected.failure());
    if (files.serials) {
        const std::string unknown = RenderUnknownSerials(files.serials->Unknown(), files.serials->ListPath());
        if (!unknown.empty()) Warn(console, unknown);
    } else if (const std::string shared = SharedSerialWarning(selected->size(), source); !shared.empty()) {
        Warn(console, shared);
    }
    std::optional<Result<std::vector<KeypadReport>>> reports;
    RunStation(request, console, *selected, files, "restore", [&](const StationOptions& options) {
        reports.emplace(RestoreKeypads(*selected, source, options));
        return *reports ? **reports : std::vector<KeypadReport>{};
    });
    if (!*reports) return ReportFailure(request, console, reports->failure());
    return ReportStation(request, console, **reports);
}

// On a terminal, a live board on standard error (messages above it) instead of a line per keypad.
StationSummary RunStationWithBoard(const Request& request, Console& console, const RestoreSource& source,
                                   StationRunOptions options) {
    if (!console.errTerminal || request.quiet || request.json) return RunStationLoop(source, options);
    StationBoard board(options.feedback != nullptr);
    const auto lines = [&board](std::chrono::steady_clock::time_point now) {
        winsize size{};
        const std::size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
        std::vector<std::string> drawn = board.Lines(now);
        for (std::string& line : drawn) line = CutToWidth(line, columns);
        return drawn;
    };
    ProgressDisplay display(lines, console.err, std::chrono::milliseconds(250), true);
    // The keypads' steps show what they wait for: no notices. Warnings go above the board.
    options.warn = [&console, &display](const std::string& text) { display.Print(WarningText(console, EscapeControl(text))); };
    options.event = [&board, &display](const StationEvent& event) {
        board.Tell(event);
        display.Redraw();
    };
    options.step = [&board](const KEYPAD_ENTRY& keypad, const std::string& step) { board.Step(keypad, step); };
    options.shown = [&board, &display](const KEYPAD_ENTRY& keypad) {
        board.Shown(keypad);
        display.Redraw();
    };
    return RunStationLoop(source, options);
}

// Restores every keypad that is attached or appears, until a signal or --once N keypads ended.
int Station(const Request& request, Console& console) {
    const std::atomic<bool>* stop = console.signals != nullptr ? &console.signals->Stop() : nullptr;
    auto file = ReadBackupPath(request.files.front(), stop);
    if (!file) return ReportFailure(request, console, file.failure());
    const RestoreSource source{request.files.front(), std::move(*file)};
    StationFiles files;
    if (const Done opened = OpenStationFiles(request, files); !opened) return ReportFailure(request, console, opened.failure());
    if (files.serials) {
        const std::string unknown = RenderUnknownSerials(files.serials->Unknown(), files.serials->ListPath());
        if (!unknown.empty()) Warn(console, unknown);
    }
    std::string why;
    const std::unique_ptr<KeypadWatch> watch = WatchKeypads(why);
    if (!watch->Events()) console.err << "velnor: note: no device events here (" << why << "); looking for keypads every 500 ms\n";
    std::mutex telling;  // the keypads' threads tell what they wait for
    StationRunOptions options;
    options.restore.command = "restore";  // a station run is restores, and the log says so
    options.restore.version = VELNOR_VERSION;
    options.restore.restartTimeoutMs = request.timeoutMs;
    options.restore.serials = files.serials.get();
    options.restore.log = files.log ? &*files.log : nullptr;
    options.restore.notice = [&console, &telling](const std::string& text) {
        const std::lock_guard lock(telling);
        console.err << "velnor: " << EscapeControl(text) << "\n" << std::flush;
    };
    options.ports = request.ports;
    options.once = request.once;
    options.watch = watch.get();
    options.stop = stop;
    options.signals = console.signals != nullptr ? &console.signals->Count() : nullptr;
    if (!request.noFeedback) options.feedback = ShowResult;
    options.warn = [&console, &telling](const std::string& text) {
        const std::lock_guard lock(telling);
        Warn(console, EscapeControl(text));
    };
    options.event = [&request, &console](const StationEvent& event) {
        if (request.json) {
            console.out << Dump(StationEventJson(event, UtcTime(std::chrono::system_clock::now(), true))) << std::flush;
        } else if (event.kind == EventKind::Finished) {
            console.out << RenderStationLine(*event.report) << std::flush;
        }
    };
    const StationSummary summary = RunStationWithBoard(request, console, source, options);
    const int status = summary.worst;
    if (request.json) return status;
    console.out << RenderStationSummary(summary);
    const char* signal = console.signals != nullptr ? console.signals->Which() : nullptr;
    if (signal != nullptr && status == kInterrupted) console.err << "velnor: " << RenderStopped(signal) << "\n";
    return status;
}

int Set(const Request& request, Console& console) {
    // Key names are read only for a key.N given by name.
    const bool byKey = std::any_of(request.assignments.begin(), request.assignments.end(),
                                   [](const std::string& word) { return word.rfind("key.", 0) == 0; });
    const auto assignments = ParseAssignments(request.assignments, byKey ? KeyNames::ReadFile() : KeyNames());
    if (!assignments) {
        return ReportFailure(request, console, {assignments.failure().status, EscapeControl(assignments.failure().message)});
    }
    StationFiles files;
    const auto selected = OpenAndSelect(request, files);
    if (!selected) return ReportFailure(request, console, selected.failure());
    const std::vector<KeypadReport> reports = RunStation(request, console, *selected, files, "set", [&](const StationOptions& options) {
        return SetKeypads(*selected, *assignments, options);
    });
    return ReportStation(request, console, reports);
}

int Reset(const Request& request, Console& console) {
    StationFiles files;
    const auto selected = OpenAndSelect(request, files);
    if (!selected) return ReportFailure(request, console, selected.failure());
    const std::vector<KeypadReport> reports =
        RunStation(request, console, *selected, files, "reset",
                   [&](const StationOptions& options) { return ResetKeypads(*selected, options); });
    return ReportStation(request, console, reports);
}

int Keys(const Request& request, Console& console) {
    const KeyNames names = KeyNames::ReadFile();
    if (names.Empty()) {
        return ReportFailure(request, console,
                             {kFileProblem, std::string("no key names: ") + kUsbIdsPath + " cannot be read or has no keyboard section",
                              "install the package usb.ids"});
    }
    console.out << (request.json ? Dump(KeysJson(names)) : RenderKeys(names));
    return kDone;
}

int Doctor(const Request& request, Console& console) {
    const Diagnosis diagnosis = Diagnose(GatherDoctorFacts(InstalledRule(VELNOR_UDEV_RULES_DIR)));
    if (request.json) {
        console.out << Dump(DoctorJson(diagnosis));
        return diagnosis.result.status;
    }
    console.out << RenderDiagnosis(diagnosis);
    if (diagnosis.result.status == kDone) {
        console.out << diagnosis.result.message << "\n";
        return kDone;
    }
    return ReportFailure(request, console, diagnosis.result);
}

int Serials(const Request& request, Console& console) {
    const SerialsAction action = request.resolve ? SerialsAction::Resolve
                                 : !request.returned.empty() ? SerialsAction::Return
                                                             : SerialsAction::Show;
    if (request.files.size() == 2 && request.files.front() == "init") {
        const Result<std::string> made = InitSerials(request.files.back(), request.list);
        if (!made) return ReportFailure(request, console, made.failure());
        if (request.json) {
            console.out << Dump(Json{{"database", ShownUri(request.files.back())}, {"message", *made}});
        } else {
            console.out << *made << "\n";
        }
        return kDone;
    }
    if (request.files.size() != 1 || !request.list.empty()) {
        return ReportFailure(request, console, {kUsage, "serials takes one LIST or URI, or init URI [--list LIST]"});
    }
    const Result<SerialsOutcome> outcome = RunSerials(request.files.front(), action, request.returned);
    if (!outcome) return ReportFailure(request, console, outcome.failure());
    if (request.json) {
        console.out << Dump(SerialsJson(*outcome, action));
        return kDone;
    }
    for (const auto& [keypad, failure] : outcome->unread) {
        Warn(console, "keypad " + KeypadName(keypad) + " could not be read, and an unknown serial it holds stays unknown: " + failure.message);
    }
    console.out << RenderSerials(*outcome, action);
    return kDone;
}

}  // namespace

int ReportFailure(const Request& request, Console& console, const Failure& failure, const KEYPAD_ENTRY* keypad) {
    const std::string help = console.command.empty() ? "velnor --help" : "velnor " + console.command + " --help";
    Failure told = failure;
    if (told.status == kUsage && told.hint.empty()) told.hint = "run '" + help + "' for usage";
    if (request.json) console.out << Dump(ErrorJson(told, keypad));
    if (told.status == kUsage) {
        PrintError(console, told.message);
        console.err << "Run '" << help << "' for usage.\n";
    } else if (!request.json) {
        PrintFailure(console, told);
    }
    return told.status;
}

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
    case Command::Serials: return Serials(request, console);
    case Command::Keys: return Keys(request, console);
    case Command::Station: return Station(request, console);
    }
    return kUsage;
}

}  // namespace velnorcli
