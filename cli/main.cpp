// velnor: the keypad tool for technicians and scripts. The command line (CLI11) becomes a
// Request; Commands.cpp runs it on cli/lib. Usage errors: the usage on standard error, status 2.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "Commands.h"
#include "lib/Json.h"
#include "lib/Text.h"

namespace {

using namespace velnorcli;

void AddSelection(CLI::App& command, Request& request, bool all) {
    auto* path = command.add_option("--path", request.selector.value, "the keypad with this device path (as `velnor list` shows it)");
    auto* usbSerial = command.add_option("--usb-serial", request.selector.value, "the keypad with this USB serial string");
    auto* location = command.add_option("--location", request.selector.value, "the keypad at this USB port chain, as in 1-2.3");
    auto* serial = command.add_option("--serial", request.selector.value,
                                      "the keypad whose own serial number is this (trailing blanks ignored)");
    path->each([&request](const std::string&) { request.selector.by = SelectBy::Path; });
    usbSerial->each([&request](const std::string&) { request.selector.by = SelectBy::UsbSerial; });
    location->each([&request](const std::string&) { request.selector.by = SelectBy::Location; });
    serial->each([&request](const std::string&) { request.selector.by = SelectBy::Serial; });
    for (CLI::Option* one : {path, usbSerial, location, serial}) {
        for (CLI::Option* other : {path, usbSerial, location, serial}) {
            if (one != other) one->excludes(other);
        }
    }
    if (all) {
        auto* every = command.add_flag("--all", request.selector.all, "every attached keypad, in parallel");
        for (CLI::Option* one : {path, usbSerial, location, serial}) every->excludes(one);
    }
}

void AddJson(CLI::App& command, Request& request) {
    command.add_flag("--json", request.json, "print one JSON document on standard output (also on failure)");
}

void AddLog(CLI::App& command, Request& request) {
    command.add_option("--log", request.log, "append one JSON line per keypad to this file (the station's record)");
}

// The options of the commands that write.
void AddWriting(CLI::App& command, Request& request, bool restarts) {
    AddSelection(command, request, true);
    AddJson(command, request);
    AddLog(command, request);
    command.add_flag("--quiet", request.quiet, "no live progress on standard error");
    if (restarts) {
        command.add_option("--timeout", request.timeoutSeconds, "seconds to wait for the keypad to leave and to come back after a restart (10)")
            ->check(CLI::Range(0.1, 3600.0))
            ->check(CLI::Validator(
                [](std::string& text) {  // nan passes the range: every comparison with it is false
                    double seconds = 0;
                    const bool finite = CLI::detail::lexical_cast(text, seconds) && std::isfinite(seconds);
                    return finite ? std::string() : "Value " + text + " is not a number of seconds";
                },
                ""));
    }
}

bool WantsJson(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) return true;
    }
    return false;
}

// A standard descriptor that is closed is held by /dev/null, opened so that using it still fails:
// no file velnor opens later (a keypad's node, a backup file) becomes standard output or error.
void HoldClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    }
}

// Output that could not be written (a full disk, a closed descriptor) is no success: status 7,
// unless the run's own status is larger.
int CheckStandardOutput(int status) {
    int error = std::fflush(stdout) == 0 ? 0 : errno;  // std::cout writes through stdout's buffer
    std::cout.flush();
    bool failed = !std::cout || std::ferror(stdout) != 0 || error != 0;
    if (close(STDOUT_FILENO) != 0 && !failed) {  // a file system may report a lost write only here
        error = errno;
        failed = true;
    }
    if (!failed) return status;
    std::cerr << "velnor: error: cannot write standard output" << (error != 0 ? ": " + ErrnoText(error) : "") << "\n";
    return std::max(status, static_cast<int>(kFileProblem));
}

struct Subcommand {
    CLI::App* app;
    Command which;
};

// Every command and its options, writing into `request` as CLI11 parses.
std::vector<Subcommand> AddCommands(CLI::App& app, Request& request) {
    app.set_version_flag("--version", std::string("velnor ") + VELNOR_VERSION);
    app.require_subcommand(1);
    AddJson(app, request);  // before the command as well as after it
    app.footer("Exit status: 0 done (verify, diff: no difference), 1 a difference or an incomplete backup, 2 usage,\n"
               "3 no keypad, 4 several keypads, 5 permission denied, 6 no answer, 7 file problem, 130 interrupted.\n"
               "See velnor(1).");

    auto* list = app.add_subcommand("list", "list the attached keypads (opens none)");
    AddJson(*list, request);
    auto* status = app.add_subcommand("status", "show a keypad's settings");
    AddSelection(*status, request, true);
    AddJson(*status, request);
    AddLog(*status, request);
    auto* backup = app.add_subcommand("backup", "write a keypad's settings as a backup file that VelnorUtility -b reads");
    backup->add_option("FILE", request.files, "the backup file, - for standard output")->required()->expected(1);
    backup->add_flag("--force", request.force, "replace an existing regular file");
    AddSelection(*backup, request, false);
    AddJson(*backup, request);
    auto* verify = app.add_subcommand("verify", "compare a keypad with a backup file, as VelnorUtility -b would leave it");
    verify->add_option("FILE", request.files, "the backup file")->required()->expected(1);
    AddSelection(*verify, request, true);
    AddJson(*verify, request);
    AddLog(*verify, request);
    auto* diff = app.add_subcommand("diff", "compare the settings of two backup files");
    diff->add_option("OLD NEW", request.files, "the two backup files")->required()->expected(2);
    AddJson(*diff, request);
    auto* doctor = app.add_subcommand("doctor", "find out why a keypad cannot be used, and how to fix it");
    AddJson(*doctor, request);
    auto* restore = app.add_subcommand("restore", "bring a keypad to the settings of a backup file, and prove it");
    restore->add_option("FILE", request.files, "the backup file")->required()->expected(1);
    AddWriting(*restore, request, true);
    restore->add_flag("--force", request.force, "write every setting, flash, restart and check, also when nothing differs");
    restore->add_flag("--dry-run", request.dryRun, "read the keypad and show what a restore would change; write nothing");
    restore->add_option("--serials", request.serials, "give each keypad the next free serial number of this list");
    auto* set = app.add_subcommand("set", "set some settings of a keypad (FIELD=VALUE: led_level, buzzer, buzzer_period, "
                                          "keypad_table, keys, serial, code_table, key.N)");
    set->add_option("FIELD=VALUE", request.assignments, "the settings to set")->required();
    AddWriting(*set, request, false);
    set->add_flag("--force", request.force, "write every named setting and flash, also when nothing differs");
    set->add_flag("--no-flash", request.noFlash, "leave the values in RAM only (until the keypad restarts)");
    auto* reset = app.add_subcommand("reset", "restart a keypad and wait until it is back");
    AddWriting(*reset, request, true);
    auto* keys = app.add_subcommand("keys", "list the key names and codes that key.N of set takes (from usb.ids)");
    AddJson(*keys, request);

    return {{list, Command::List},       {status, Command::Status}, {backup, Command::Backup},
            {verify, Command::Verify},   {diff, Command::Diff},     {doctor, Command::Doctor},
            {restore, Command::Restore}, {set, Command::Set},       {reset, Command::Reset},
            {keys, Command::Keys}};
}

// A command line CLI11 refused, told before any Request exists: the message and the usage of the
// command it got to on standard error, with --json also the error document. Status 2.
int Refused(const CLI::ParseError& refused, const CLI::App& app, const std::vector<Subcommand>& commands, int argc,
            char** argv) {
    const CLI::App* where = &app;
    for (const Subcommand& command : commands) {
        if (command.app->parsed()) where = command.app;
    }
    std::string message = EscapeControl(refused.what());
    const char* const* first = std::find_if(argv + 1, argv + argc, [](const char* word) { return word[0] != '-'; });
    if (where == &app && first != argv + argc) {
        message = "unknown command " + EscapeControl(*first) +
                  "; the commands are list, status, backup, verify, diff, doctor, restore, set, reset, keys";
    }
    std::cerr << "velnor: " << message << "\n" << where->help();
    if (WantsJson(argc, argv)) std::cout << Dump(ErrorJson({kUsage, message}));
    return kUsage;
}

int Velnor(int argc, char** argv) {
    Request request;
    CLI::App app("velnor: list, read, back up, check, restore and set Velnor keypads", "velnor");
    const std::vector<Subcommand> commands = AddCommands(app, request);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& refused) {
        return Refused(refused, app, commands, argc, argv);
    }
    const char* noColour = std::getenv("NO_COLOR");
    const bool terminal = isatty(STDERR_FILENO) == 1;
    Console console{std::cout, std::cerr, terminal && (noColour == nullptr || *noColour == '\0'), terminal, nullptr, {}};
    for (const Subcommand& command : commands) {
        if (!command.app->parsed()) continue;
        request.command = command.which;
        console.usage = command.app->help();
    }
    // The commands that write stop between steps on SIGINT and SIGTERM (before any thread starts).
    std::optional<StopOnSignals> signals;
    if (request.command == Command::Restore || request.command == Command::Set || request.command == Command::Reset) {
        signals.emplace();
        console.signals = &*signals;
    }
    try {
        return RunCommand(request, console);
    } catch (const std::exception& failure) {
        return ReportFailure(request, console, {kNoAnswer, std::string("unexpected failure: ") + failure.what()});
    }
}

}  // namespace

int main(int argc, char** argv) {
    HoldClosedStandardDescriptors();
    return CheckStandardOutput(Velnor(argc, argv));
}
