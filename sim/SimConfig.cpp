#include "SimConfig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "SimBus.h"

namespace velnorsim {

namespace {

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t' && line[i] != '\r'))) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else {
                word.push_back(line[i]);
            }
            ++i;
        }
        words.push_back(word);
    }
    return words;
}

bool ParseNumber(const std::string& text, long& value, int base = 0) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, base);
    return end != nullptr && *end == '\0';
}

std::optional<std::wstring> OptionalText(const std::string& value) {
    if (value == "-") return std::nullopt;
    return WidenUtf8(value);
}

const struct {
    const char* name;
    FaultKind kind;
} kFaultNames[] = {
    {"none", FaultKind::None},         {"noreply", FaultKind::NoReply},
    {"ack", FaultKind::Ack},           {"nak", FaultKind::Nak},
    {"bad_checksum", FaultKind::BadChecksum}, {"wrong_type", FaultKind::WrongType},
    {"delay", FaultKind::Delay},       {"split", FaultKind::Split},
    {"garbage", FaultKind::Garbage},   {"lie_etx", FaultKind::LieEtxIndex},
    {"lie_length", FaultKind::LieLength}, {"write_fails", FaultKind::WriteFails},
    {"unplug", FaultKind::Unplug},     {"short_write", FaultKind::ShortWrite},
};

bool ParseFaultKind(const std::string& name, FaultKind& kind) {
    for (const auto& entry : kFaultNames) {
        if (name == entry.name) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

// When a device is plugged in and pulled out, in ms after the process started (0: not given).
struct Moments {
    int appearAfterMs = 0;
    int leaveAfterMs = 0;
};

bool ApplyDeviceWord(DeviceSetup& setup, const std::string& word, Moments& moments) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = word.substr(0, equals);
    const std::string value = word.substr(equals + 1);
    long number = 0;
    if (key == "vid" && ParseNumber(value, number, 16)) {
        setup.vendorId = static_cast<std::uint16_t>(number);
    } else if (key == "pid" && ParseNumber(value, number, 16)) {
        setup.productId = static_cast<std::uint16_t>(number);
    } else if (key == "interface" && ParseNumber(value, number)) {
        setup.interfaceNumber = static_cast<int>(number);
    } else if (key == "path") {
        setup.path = value;
    } else if (key == "location") {
        setup.location = value;
    } else if (key == "name") {
        setup.name = value;
    } else if (key == "manufacturer") {
        setup.manufacturer = OptionalText(value);
    } else if (key == "product") {
        setup.product = OptionalText(value);
    } else if (key == "serial") {
        setup.serialNumber = OptionalText(value);
    } else if (key == "keypad" && ParseNumber(value, number)) {
        setup.keypad = number != 0;
    } else if (key == "reset_absent_ms" && ParseNumber(value, number)) {
        setup.resetAbsentMs = static_cast<int>(number);
    } else if (key == "reply_delay_ms" && ParseNumber(value, number)) {
        setup.replyDelayMs = static_cast<int>(number);
    } else if (key == "appear_after_ms" && ParseNumber(value, number)) {
        moments.appearAfterMs = static_cast<int>(number);
    } else if (key == "leave_after_ms" && ParseNumber(value, number) && number > 0) {
        moments.leaveAfterMs = static_cast<int>(number);
    } else {
        return false;
    }
    return true;
}

bool ApplySetting(KeypadSettings& settings, const std::vector<std::string>& words) {
    if (words.size() < 3) return false;
    const std::string& name = words[1];
    if (name == "serial") {
        settings.serialNumber = words[2];
        return true;
    }
    if (name == "firmware") {
        settings.firmwareName = words[2];
        return true;
    }
    if (name == "code_table") {
        if (words.size() != 2 + settings.codeTable.size()) return false;
        for (std::size_t i = 0; i < settings.codeTable.size(); ++i) {
            long byte = 0;
            if (!ParseNumber(words[2 + i], byte, 16)) return false;
            settings.codeTable[i] = static_cast<std::uint8_t>(byte);
        }
        return true;
    }
    long number = 0;
    if (!ParseNumber(words[2], number)) return false;
    const auto byte = static_cast<std::uint8_t>(number);
    if (name == "led_level") {
        settings.ledLevel = byte;
    } else if (name == "buzzer") {
        settings.buzzer = byte;
    } else if (name == "buzzer_period") {
        settings.buzzerPeriod = byte;
    } else if (name == "keypad_table") {
        settings.keypadTable = byte;
    } else if (name == "key_count_option") {
        settings.keyCountOption = byte;
    } else if (name == "jack") {
        settings.jackStatus = byte;
    } else {
        return false;
    }
    return true;
}

bool ApplyFault(SimKeypad& keypad, const std::vector<std::string>& words) {
    if (words.size() < 3) return false;
    long command = kAnyCommand;
    if (words[1] != "any" && !ParseNumber(words[1], command)) return false;
    Fault fault;
    if (!ParseFaultKind(words[2], fault.kind)) return false;
    long number = 0;
    if (words.size() > 3) {
        if (!ParseNumber(words[3], number)) return false;
        fault.param = static_cast<int>(number);
    }
    if (words.size() > 4) {
        if (!ParseNumber(words[4], number)) return false;
        fault.times = static_cast<int>(number);
    }
    keypad.faults.push_back({static_cast<int>(command), fault});
    return true;
}

bool ApplyRandomFaults(SimKeypad& keypad, const std::vector<std::string>& words) {
    long seed = 0;
    long percent = 0;
    if (words.size() < 4 || !ParseNumber(words[1], seed) || !ParseNumber(words[2], percent)) return false;
    keypad.randomKinds.clear();
    for (std::size_t i = 3; i < words.size(); ++i) {
        FaultKind kind;
        if (!ParseFaultKind(words[i], kind)) return false;
        keypad.randomKinds.push_back(kind);
    }
    keypad.randomSeed = static_cast<unsigned>(seed);
    keypad.randomPercent = static_cast<int>(percent);
    return true;
}

bool ApplyLine(Bus& bus, const std::vector<std::string>& words) {
    const std::string& keyword = words[0];
    SimDevice* last = bus.devices.empty() ? nullptr : bus.devices.back().get();
    if (keyword == "report_log" && words.size() == 2) {
        bus.reportLogPath = words[1];
    } else if (keyword == "call_log" && words.size() == 2) {
        bus.callLogPath = words[1];
    } else if (keyword == "state_file" && words.size() == 2) {
        bus.stateFilePath = words[1];
    } else if (keyword == "sys_root" && words.size() == 2) {
        bus.systemRoot = words[1];
    } else if (keyword == "init_fails" && words.size() == 1) {
        bus.initFails = true;
    } else if (keyword == "device") {
        DeviceSetup setup;
        Moments moments;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (!ApplyDeviceWord(setup, words[i], moments)) return false;
        }
        if (moments.leaveAfterMs > 0 && moments.leaveAfterMs <= moments.appearAfterMs) return false;
        SimDevice& device = bus.Add(setup);
        if (moments.appearAfterMs > 0) {
            device.awayFrom = Clock::time_point{};
            device.awayUntil = Clock::now() + std::chrono::milliseconds(moments.appearAfterMs);
        }
        if (moments.leaveAfterMs > 0) device.leavesAt = Clock::now() + std::chrono::milliseconds(moments.leaveAfterMs);
    } else if (keyword == "set" && last != nullptr) {
        if (!ApplySetting(last->keypad.ram, words)) return false;
        last->keypad.flash = last->keypad.ram;
    } else if (keyword == "fault" && last != nullptr) {
        return ApplyFault(last->keypad, words);
    } else if (keyword == "random_faults" && last != nullptr) {
        return ApplyRandomFaults(last->keypad, words);
    } else {
        return false;
    }
    return true;
}

// Text as the state file shows it: a control character, '"' and '\\' as \xHH.
std::string Escape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            escaped += hex;
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::optional<std::string> Unescape(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain.push_back(text[i]);
            continue;
        }
        long byte = 0;
        if (text.size() < i + 4 || text.compare(i, 2, "\\x") != 0 || !ParseNumber(text.substr(i + 2, 2), byte, 16)) {
            return std::nullopt;
        }
        plain.push_back(static_cast<char>(byte));
        i += 3;
    }
    return plain;
}

// What the state file remembers of one keypad.
struct Remembered {
    SimDevice* device = nullptr;
    KeypadSettings ram;
    KeypadSettings flash;
    int node = -1;
    bool away = false;
    std::set<std::string> settings;  // "ram.led_level", ...: all 18 must be there
};

constexpr std::size_t kSettingsPerKeypad = 18;

// One line of the state file into `remembered`; what is wrong with it otherwise.
std::string ReadStateLine(Bus& bus, const std::vector<std::string>& words, std::vector<Remembered>& remembered) {
    const std::string& keyword = words[0];
    if (keyword == "device" && words.size() == 2) {
        for (const auto& device : bus.devices) {
            if (device->label != words[1]) continue;
            for (const Remembered& other : remembered) {
                if (other.device == device.get()) return "keypad " + words[1] + " twice";
            }
            remembered.emplace_back().device = device.get();
            return {};
        }
        return "a keypad the set-up does not have: " + words[1];
    }
    if (remembered.empty()) return "no device line first";
    Remembered& keypad = remembered.back();
    long number = 0;
    const std::size_t node = keyword == "path" && words.size() == 2 ? words[1].rfind("/dev/hidraw") : std::string::npos;
    if (node != std::string::npos && ParseNumber(words[1].substr(node + 11), number, 10) && number >= 0 && number < 100000) {
        keypad.node = static_cast<int>(number);
        return {};
    }
    if (keyword == "away" && words.size() == 1) {
        keypad.away = true;
        return {};
    }
    const std::size_t dot = keyword.find('.');
    const std::string memory = keyword.substr(0, dot);
    if (dot == std::string::npos || (memory != "ram" && memory != "flash")) return "not understood";
    std::vector<std::string> setting{"set", keyword.substr(dot + 1)};
    setting.insert(setting.end(), words.begin() + 1, words.end());
    const bool text = setting[1] == "serial" || setting[1] == "firmware";
    if (setting.size() != (setting[1] == "code_table" ? 22u : 3u)) return "not understood";
    if (text) {
        const auto plain = Unescape(setting[2]);
        if (!plain) return "not understood";
        setting[2] = *plain;
    }
    if (!ApplySetting(memory == "ram" ? keypad.ram : keypad.flash, setting)) return "not understood";
    keypad.settings.insert(keyword);
    return {};
}

void AppendSettings(std::ostringstream& out, const char* prefix, const KeypadSettings& settings) {
    out << prefix << "led_level " << int{settings.ledLevel} << '\n'
        << prefix << "buzzer " << int{settings.buzzer} << '\n'
        << prefix << "buzzer_period " << int{settings.buzzerPeriod} << '\n'
        << prefix << "keypad_table " << int{settings.keypadTable} << '\n'
        << prefix << "key_count_option " << int{settings.keyCountOption} << '\n'
        << prefix << "code_table";
    char hex[4];
    for (std::uint8_t byte : settings.codeTable) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        out << ' ' << hex;
    }
    out << '\n'
        << prefix << "serial \"" << Escape(settings.serialNumber) << "\"\n"
        << prefix << "firmware \"" << Escape(settings.firmwareName) << "\"\n"
        << prefix << "jack " << int{settings.jackStatus} << '\n';
}

}  // namespace

void LoadConfigFile(Bus& bus, const char* path) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "simulated keypad: cannot read %s\n", path);
        return;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (!ApplyLine(bus, words)) {
            std::fprintf(stderr, "simulated keypad: %s:%d not understood: %s\n", path, number, line.c_str());
        }
    }
}

void LoadStateFile(Bus& bus) {
    if (bus.stateFilePath.empty()) return;
    std::ifstream file(bus.stateFilePath, std::ios::binary);
    if (!file) return;  // the keypads' first run
    constexpr std::streamsize kLargest = 1 << 20;
    std::string text(static_cast<std::size_t>(kLargest) + 1, '\0');
    file.read(text.data(), kLargest + 1);
    text.resize(static_cast<std::size_t>(file.gcount()));
    std::vector<Remembered> remembered;
    std::string wrong = file.bad() ? "it cannot be read" : text.size() > static_cast<std::size_t>(kLargest) ? "it is over 1 MiB" : "";
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; wrong.empty() && std::getline(lines, line);) {
        ++number;
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty()) continue;
        if (line.find('\0') != std::string::npos) {
            wrong = "not understood";
        } else if (words.front() == "device" && !remembered.empty() && remembered.back().settings.size() != kSettingsPerKeypad) {
            wrong = "keypad " + remembered.back().device->label + " without all its settings";
        } else {
            wrong = ReadStateLine(bus, words, remembered);
        }
        if (!wrong.empty()) wrong = "line " + std::to_string(number) + ": " + wrong;
    }
    if (wrong.empty() && !remembered.empty() && remembered.back().settings.size() != kSettingsPerKeypad) {
        wrong = "keypad " + remembered.back().device->label + " without all its settings";
    }
    if (!wrong.empty()) {
        std::fprintf(stderr, "simulated keypad: %s is not a state file of this set-up (%s); the keypads start as the set-up has them\n",
                     bus.stateFilePath.c_str(), wrong.c_str());
        return;
    }
    for (const Remembered& keypad : remembered) {
        keypad.device->keypad.ram = keypad.ram;
        keypad.device->keypad.flash = keypad.flash;
        keypad.device->node = keypad.node;
        keypad.device->renumberDue = keypad.away;
    }
}

std::string FormatSettings(const KeypadSettings& ram, const KeypadSettings& flash) {
    std::ostringstream out;
    AppendSettings(out, "ram.", ram);
    AppendSettings(out, "flash.", flash);
    return out.str();
}

}  // namespace velnorsim
