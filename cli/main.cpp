// velnor: the keypad tool for technicians and scripts. The command line (CLI11) becomes a
// Request; Commands.cpp runs it on cli/lib. A refused command line: what was wrong, in velnor's
// words, and where the usage is, on standard error; status 2.
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
#include "lib/Suggest.h"
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
    command.add_option("--log", request.log, "append one JSON line per keypad to this file, or a row to this database (URI); repeatable")
        ->allow_extra_args(false)
        ->type_name("FILE|URI");
    command.add_option("--station", request.station, "the station's name in the log and the serials' record (the host name)");
}

// The options of the commands that write.
void AddWriting(CLI::App& command, Request& request, bool restarts) {
    AddSelection(command, request, true);
    AddJson(command, request);
    AddLog(command, request);
    command.add_flag("--quiet", request.quiet, "no live progress on standard error");
    if (restarts) {
        command.add_option("--timeout", request.timeoutSeconds, "seconds to wait for the keypad to leave and to come back after a restart (10)")
            ->check(CLI::Validator(
                [](std::string& text) {  // nan passes a range: every comparison with it is false
                    double seconds = 0;
                    if (!CLI::detail::lexical_cast(text, seconds) || !std::isfinite(seconds)) return text + " is not a number of seconds";
                    return seconds >= 0.1 && seconds <= 3600 ? std::string() : text + " is not between 0.1 and 3600";
                },
                ""))
            ->type_name("SECONDS");
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
    app.set_help_flag("-h,--help", "show this help");  // the commands take it over
    app.set_version_flag("--version", std::string("velnor ") + VELNOR_VERSION, "show velnor's version");
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.require_subcommand(0, 1);  // none given is refused after parsing, in velnor's words
    app.allow_extras();            // so are unknown words, by Unknown()
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
    restore->add_option("--serials", request.serials, "give each keypad the next free serial number of this list (a file, or a database: URI)");
    auto* set = app.add_subcommand("set", "set some settings of a keypad (FIELD=VALUE: led_level, buzzer, buzzer_period, "
                                          "keypad_table, keys, serial, code_table, key.N)");
    set->add_option("FIELD=VALUE", request.assignments, "the settings to set")->required();
    AddWriting(*set, request, false);
    set->add_flag("--force", request.force, "write every named setting and flash, also when nothing differs");
    set->add_flag("--no-flash", request.noFlash, "leave the values in RAM only (until the keypad restarts)");
    set->add_flag("--dry-run", request.dryRun, "read the keypad and show what set would change; write nothing");
    auto* reset = app.add_subcommand("reset", "restart a keypad and wait until it is back");
    AddWriting(*reset, request, true);
    auto* serials = app.add_subcommand("serials", "show what became of the serial numbers of a list, and settle the unknown ones");
    serials->add_option("LIST", request.files, "the serial list (as restore --serials names it); init URI: make a database's tables")
        ->required()
        ->expected(1, 2);
    serials->add_option("--list", request.list, "init: add the serials of this list file to the database");
    auto* resolve = serials->add_flag("--resolve", request.resolve, "settle as taken each unknown serial that an attached keypad holds");
    serials->add_option("--return", request.returned, "return these unknown serials, once you have made sure that no keypad holds them")
        ->expected(1, -1)
        ->excludes(resolve);
    AddJson(*serials, request);
    auto* station = app.add_subcommand("station", "restore every keypad plugged in to a backup file, until stopped");
    station->add_option("FILE", request.files, "the backup file")->required()->expected(1);
    station->add_option("--serials", request.serials, "give each keypad the next free serial number of this list (a file, or a database: URI)");
    AddLog(*station, request);
    station->add_option("--ports", request.ports, "only the keypads at these USB port chains (LOC,...)")
        ->delimiter(',')
        ->check(CLI::Validator([](std::string& text) { return text.empty() ? std::string("a port chain is empty") : std::string(); }, ""))
        ->type_name("LOC,...");
    // A whole number within [low, high], refused in velnor's words.
    const auto within = [](long low, long high, const char* what) {
        return CLI::Validator(
            [=](std::string& text) {
                long number = 0;
                if (!CLI::detail::lexical_cast(text, number)) return text + " is not " + what;
                return number >= low && number <= high ? std::string()
                                                       : text + " is not between " + std::to_string(low) + " and " + std::to_string(high);
            },
            "");
    };
    station->add_option("--once", request.once, "end once this many keypads have ended")->check(within(1, 1000000, "a number of keypads"))->type_name("N");
    station->add_option("--timeout", request.timeoutMs, "milliseconds to wait for a keypad to leave and come back after its restart (10000)")
        ->check(within(100, 3600000, "a number of milliseconds"))
        ->type_name("MS");
    station->add_flag("--no-feedback", request.noFeedback, "do not blink the keypad's LED to show its result");
    station->add_flag("--quiet", request.quiet, "no live board on standard error: one line per keypad as it ends");
    station->add_flag("--json", request.json, "print the events on standard output, one JSON document a line");
    auto* keys = app.add_subcommand("keys", "list the key names and codes that key.N of set takes (from usb.ids)");
    AddJson(*keys, request);
    // Listed here for its own help; the command line becomes `velnor [COMMAND] --help` before parsing.
    auto* help = app.add_subcommand("help", "show this help, or a command's (the same as --help)");
    help->add_option("COMMAND", request.files, "the command whose help to show")->expected(0, 1);
    for (CLI::App* command : app.get_subcommands({})) command->allow_extras()->group("Commands");

    return {{list, Command::List},       {status, Command::Status}, {backup, Command::Backup},
            {verify, Command::Verify},   {diff, Command::Diff},     {doctor, Command::Doctor},
            {restore, Command::Restore}, {set, Command::Set},       {reset, Command::Reset},
            {serials, Command::Serials}, {keys, Command::Keys},       {station, Command::Station}};
}

std::vector<std::string> CommandNames(const std::vector<Subcommand>& commands) {
    std::vector<std::string> names;
    for (const Subcommand& command : commands) names.push_back(command.app->get_name());
    names.push_back("help");
    return names;
}

std::string Listed(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

// `shown` as it is printed.
std::string UnknownCommand(const std::string& shown, const std::vector<Subcommand>& commands) {
    const std::vector<std::string> names = CommandNames(commands);
    const std::string near = DidYouMean(shown, names);
    return "unknown command " + shown + (near.empty() ? "; the commands are " + Listed(names) : near);
}

std::vector<std::string> OptionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

// The first word of the command line that no option or command took, told as the unknown
// option, command or argument it is, with the nearest known one; "" when every word was taken.
// An option is named before an argument, and before what CLI11 refused: it is the likelier slip.
std::string Unknown(const CLI::App& app, const CLI::App* command, const std::vector<Subcommand>& commands) {
    std::vector<std::pair<std::string, const CLI::App*>> left;  // the word, and whose options it was among
    for (const std::string& word : app.remaining()) left.emplace_back(word, &app);
    if (command != nullptr) {
        for (const std::string& word : command->remaining()) left.emplace_back(word, command);
    }
    for (const auto& [word, where] : left) {
        if (word == "--") return "unexpected --: velnor takes none";
        if (word.size() < 2 || word[0] != '-') continue;
        const std::string name = word.substr(0, word.find('='));
        return "unknown option " + EscapeControl(name) + EscapeControl(DidYouMean(name, OptionNames(*where)));
    }
    if (left.empty()) return "";
    const std::string word = left.front().first.empty() ? "''" : EscapeControl(left.front().first);
    if (command != nullptr) return "unexpected argument " + word;
    return UnknownCommand(word, commands);
}

// CLI11's refusal in velnor's words. CLI11 tells only a text; its forms are those of CLI11 2.x.
std::string Explained(const CLI::ParseError& refused, const CLI::App* command) {
    const std::string text = refused.what();
    const std::string who = command != nullptr ? command->get_name() : "velnor";
    const std::size_t colon = text.find(':');
    if (dynamic_cast<const CLI::ExcludesError*>(&refused) != nullptr) {  // "A excludes B"
        const std::size_t at = text.find(" excludes ");
        if (at != std::string::npos) return text.substr(0, at) + " and " + text.substr(at + 10) + " cannot be used together";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&refused) != nullptr) {  // "NAME is required"
        const std::size_t at = text.find(" is required");
        if (at != std::string::npos) return who + " needs " + text.substr(0, at);
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&refused) != nullptr && colon != std::string::npos) {
        const std::string name = text.substr(0, colon);  // "NAME: 1 required TEXT missing", "NAME: At least 2 ..."
        if (text.find("At Most", colon) != std::string::npos) return who + " takes only " + name;
        return name[0] == '-' ? name + " needs a value" : who + " needs " + name;
    }
    if (dynamic_cast<const CLI::ValidationError*>(&refused) != nullptr) return text;  // "NAME: " and velnor's own words
    if (dynamic_cast<const CLI::ConversionError*>(&refused) != nullptr) {
        const std::size_t equals = text.find(" = ");  // "Could not convert: NAME = VALUE"
        if (colon != std::string::npos && equals != std::string::npos) {
            return text.substr(colon + 2, equals - colon - 2) + ": " + text.substr(equals + 3) + " is not a value it takes";
        }
    }
    std::string lower = text;  // a form not foreseen: at least in velnor's style
    if (!lower.empty()) lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    return lower;
}

// `velnor help [COMMAND]` becomes `velnor [COMMAND] --help`; "" when it may, else why not.
std::string HelpAsOption(std::vector<std::string>& words, const std::vector<Subcommand>& commands) {
    const auto first = std::find_if(words.begin() + 1, words.end(), [](const std::string& word) { return word[0] != '-'; });
    if (first == words.end() || *first != "help") return "";
    const auto next = first + 1;
    if (next == words.end() || (*next)[0] == '-') {
        *first = "--help";
        return "";
    }
    const std::vector<std::string> names = CommandNames(commands);
    if (std::find(names.begin(), names.end(), *next) == names.end()) return UnknownCommand(EscapeControl(*next), commands);
    *first = *next;  // the command where "help" was, and --help after it
    *next = "--help";
    return "";
}

int Velnor(int argc, char** argv) {
    Request request;
    request.json = WantsJson(argc, argv);  // also for a command line refused before --json is parsed
    CLI::App app("velnor: list, read, back up, check, restore and set Velnor keypads", "velnor");
    const std::vector<Subcommand> commands = AddCommands(app, request);
    const char* noColour = std::getenv("NO_COLOR");
    const bool terminal = isatty(STDERR_FILENO) == 1;
    Console console{std::cout, std::cerr, terminal && (noColour == nullptr || *noColour == '\0'), terminal, nullptr, {}};

    std::vector<std::string> words(argv, argv + argc);
    std::string refusal = HelpAsOption(words, commands);
    if (!refusal.empty()) return ReportFailure(request, console, {kUsage, refusal});
    // The command CLI11 got to, also when it refused the line.
    const auto reached = [&commands]() -> const Subcommand* {
        const auto found = std::find_if(commands.begin(), commands.end(), [](const Subcommand& one) { return one.app->parsed(); });
        return found != commands.end() ? &*found : nullptr;
    };
    try {
        app.parse(std::vector<std::string>(words.rbegin(), words.rend() - 1));  // reversed, without the program's name
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& refused) {
        refusal = EscapeControl(Explained(refused, reached() != nullptr ? reached()->app : nullptr));
    }
    const Subcommand* command = reached();
    if (command != nullptr) {
        request.command = command->which;
        console.command = command->app->get_name();
    }
    if (const std::string unknown = Unknown(app, command != nullptr ? command->app : nullptr, commands); !unknown.empty()) {
        refusal = unknown;
    }
    if (refusal.empty() && command == nullptr) refusal = "no command given; the commands are " + Listed(CommandNames(commands));
    if (!refusal.empty()) return ReportFailure(request, console, {kUsage, refusal});
    // The commands that write stop between steps on SIGINT and SIGTERM (before any thread starts).
    std::optional<StopOnSignals> signals;
    if (request.command == Command::Restore || request.command == Command::Set || request.command == Command::Reset ||
        request.command == Command::Station) {
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
