#include "Commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "lib/AtomicFile.h"
#include "lib/BackupReading.h"
#include "lib/BackupWriter.h"
#include "lib/DoctorFacts.h"
#include "lib/Json.h"
#include "lib/Keypad.h"
#include "lib/Render.h"
#include "lib/Text.h"

namespace velnorcli {

namespace {

std::string Paint(const Console& console, const char* code, const std::string& text) {
    return console.colourErr ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
}

// A failure: JSON on standard output, or a message on standard error.
int Fail(const Request& request, Console& console, const Failure& failure, const KEYPAD_ENTRY* keypad = nullptr) {
    if (request.json) console.out << Dump(ErrorJson(failure, keypad));
    // A refused command line is told on standard error also to a script.
    if (!request.json || failure.status == kUsage) {
        console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << failure.message << "\n";
    }
    return failure.status;
}

void Warn(const Console& console, const std::string& text) {
    console.err << "velnor: " << Paint(console, "1;33", "warning") << ": " << text << "\n";
}

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
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
    const Selected selected = Select(request.selector);
    if (selected.failure) return Fail(request, console, *selected.failure);
    const std::vector<StatusReading> readings = ReadStatuses(selected.keypads);
    if (!request.selector.all) {
        const StatusReading& reading = readings.front();
        if (!reading.status) return Fail(request, console, reading.failure, &reading.keypad);
        if (request.json) {
            console.out << Dump(StatusJson(reading.keypad, *reading.status));
        } else {
            console.out << RenderStatus(reading.keypad, *reading.status, KeyNames::ReadFile());
        }
        return kDone;
    }
    int status = kDone;
    for (const StatusReading& reading : readings) status = std::max(status, reading.failure.status);
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
    if (!toStdout && !request.force) {
        if (auto failure = RefuseExisting(file)) return Fail(request, console, *failure);
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
    const Selected selected = Select(request.selector);
    if (selected.failure) return Fail(request, console, *selected.failure);

    std::vector<VerifyOutcome> outcomes;
    for (const StatusReading& reading : ReadStatuses(selected.keypads)) {
        VerifyOutcome outcome{reading.keypad, std::nullopt, reading.failure};
        if (reading.status) {
            outcome.differences = Compare(SettingsOfKeypad(*reading.status), content.settings);
            outcome.failure.status = outcome.differences->empty() ? kDone : kDifferent;
        }
        outcomes.push_back(outcome);
    }
    int status = kDone;
    for (const VerifyOutcome& outcome : outcomes) status = std::max(status, outcome.failure.status);

    if (!request.selector.all) {
        const VerifyOutcome& outcome = outcomes.front();
        if (!outcome.differences) return Fail(request, console, outcome.failure, &outcome.keypad);
        if (request.json) {
            console.out << Dump(DifferencesJson(*outcome.differences, "keypad", "file"));
        } else if (outcome.differences->empty()) {
            console.out << "equal: keypad " << KeypadName(outcome.keypad) << " holds the settings of "
                        << EscapeControl(request.files.front()) << "\n";
        } else {
            console.out << RenderDifferences(*outcome.differences, "KEYPAD", "FILE");
        }
        return status;
    }
    if (request.json) {
        console.out << Dump(VerifyAllJson(outcomes));
        return status;
    }
    for (const VerifyOutcome& outcome : outcomes) {
        if (!outcome.differences) {
            console.err << "velnor: " << Paint(console, "1;31", "error") << ": " << outcome.failure.message << "\n";
        } else if (outcome.differences->empty()) {
            console.out << KeypadName(outcome.keypad) << ": equal\n";
        } else {
            console.out << KeypadName(outcome.keypad) << ": " << outcome.differences->size() << " differences\n"
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
    }
    return kUsage;
}

}  // namespace velnorcli
