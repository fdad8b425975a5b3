#include "SetValues.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ControlBytes.h"
#include "SerialSuffix.h"
#include "Suggest.h"
#include "Text.h"

namespace velnorcli {

namespace {

struct Name {
    const char* word;
    Field field;
    int highest;  // for numbers
};
constexpr Name kNames[] = {
    {"led_level", Field::LedLevel, 255},        {"buzzer", Field::Buzzer, 255},
    {"buzzer_period", Field::BuzzerPeriod, 255}, {"keypad_table", Field::KeypadTable, 2},
    {"keys", Field::KeyCountOption, 8},          {"serial", Field::Serial, 0},
    {"code_table", Field::CodeTable, 0},
};

bool Number(const std::string& text, long& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 9) return false;
    for (char c : digits) {
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c)))) return false;
    }
    value = std::strtol(digits.c_str(), nullptr, hex ? 16 : 10);
    return true;
}

std::string CodeTableRefusal(std::string text, std::vector<std::uint8_t>& bytes) {
    std::replace(text.begin(), text.end(), ',', ' ');
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        const std::string word = text.substr(at, end - at);
        const bool ok = word.size() <= 2 && std::all_of(word.begin(), word.end(), [](char c) {
                            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                        });
        if (!ok) return "code_table: " + word + " is not a hexadecimal byte (00 to ff)";
        bytes.push_back(static_cast<std::uint8_t>(std::strtol(word.c_str(), nullptr, 16)));
        at = end;
    }
    if (!velnorbackup::IsTableLength(static_cast<long long>(bytes.size()))) {
        return "code_table: " + std::to_string(bytes.size()) + " values; a keypad stores 14 (5 keys), 16 (6 keys) or 20 (8 keys)";
    }
    return {};
}

std::string Listed(const std::vector<std::uint8_t>& codes, const KeyNames& names, bool withNames) {
    std::string text;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        text += i == 0 ? "" : i + 1 == codes.size() ? " or " : ", ";
        text += withNames ? "\"" + std::string(names.Name(codes[i])) + "\" (0x" + Hex(codes[i], true) + ")"
                          : "0x" + Hex(codes[i], true);
    }
    return text;
}

// key.N=0xNN or key.N=NAME: a code is always written with 0x, so that a name such as "1" is
// never taken for one.
std::string KeyRefusal(const std::string& key, const std::string& value, const KeyNames& names,
                       std::vector<Assignment>& assignments) {
    const std::string index = key.substr(4);
    const bool digits = !index.empty() && index.size() <= 2 &&
                        std::all_of(index.begin(), index.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    const int n = digits ? std::stoi(index) : -1;
    if (n < 0 || n >= static_cast<int>(CodeTable().size())) {
        return key + ": no such key; the code table has 20 entries, key.0 to key.19";
    }
    for (const Assignment& done : assignments) {
        if (done.key == n) return key + " is given twice";
    }
    Assignment assignment{Field::CodeTable, 0, {}, {}, n};
    long code = 0;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        if (!Number(value, code) || code > 0xff) return key + ": " + value + " is not a code (0x00 to 0xff)";
    } else if (value.empty()) {
        return key + ": no key name or code (0xNN) given";
    } else if (names.Empty()) {
        return key + ": no key names to find " + value + " in (" + kUsbIdsPath + " cannot be read); give the code as 0xNN";
    } else {
        const std::vector<std::uint8_t> codes = names.CodesNamed(value);
        if (codes.size() > 1) return key + ": " + value + " names several keys; give the code: " + Listed(codes, names, false);
        if (codes.empty()) {
            const std::vector<std::uint8_t> like = names.Resembling(value, 5);
            return key + ": no key is named " + value + (like.empty() ? "" : "; did you mean " + Listed(like, names, true) + "?") +
                   " (velnor keys lists the names)";
        }
        code = codes.front();
    }
    assignment.number = static_cast<int>(code);
    assignments.push_back(std::move(assignment));
    return {};
}

std::string Refusal(const std::string& word, const KeyNames& names, std::vector<Assignment>& assignments) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) return word + " is not FIELD=VALUE (as in led_level=5)";
    const std::string key = word.substr(0, equals);
    const std::string value = word.substr(equals + 1);
    if (key.rfind("key.", 0) == 0) return KeyRefusal(key, value, names, assignments);
    const auto* name = std::find_if(std::begin(kNames), std::end(kNames), [&](const Name& n) { return key == n.word; });
    if (name == std::end(kNames)) {
        std::vector<std::string> known;
        for (const Name& n : kNames) known.emplace_back(n.word);
        const std::string near = DidYouMean(key, known);
        return "no setting " + key + (near.empty() ? "; the settings are led_level, buzzer, buzzer_period, keypad_table, keys, serial, code_table, key.N" : near);
    }
    for (const Assignment& done : assignments) {
        if (done.field == name->field && done.key < 0) return key + " is given twice";
    }
    Assignment assignment;
    assignment.field = name->field;
    if (name->field == Field::Serial) {
        if (value.size() > kSerialShown) {
            return "serial: " + std::to_string(value.size()) + " characters; a keypad keeps " + std::to_string(kSerialShown);
        }
        if (velnorbackup::HoldsControlBytes(value)) {
            return "serial: a control character";
        }
        assignment.text = value;
    } else if (name->field == Field::CodeTable) {
        if (std::string refusal = CodeTableRefusal(value, assignment.bytes); !refusal.empty()) return refusal;
    } else {
        long number = 0;
        if (!Number(value, number)) return key + ": " + value + " is not a number (decimal, or hexadecimal after 0x)";
        if (name->field == Field::KeyCountOption) {
            const std::optional<std::uint8_t> option = velnorbackup::OptionOfKeys(number);
            if (!option) return "keys: " + value + "; a keypad has 5, 6 or 8 keys";
            assignment.number = *option;
        } else if (number > name->highest) {
            return key + ": " + value + " is above " + std::to_string(name->highest) +
                   (name->field == Field::KeypadTable ? ", which the keypad refuses" : "");
        } else {
            assignment.number = static_cast<int>(number);
        }
    }
    assignments.push_back(std::move(assignment));
    return {};
}

}  // namespace

Result<std::vector<Assignment>> ParseAssignments(const std::vector<std::string>& words, const KeyNames& names) {
    std::vector<Assignment> assignments;
    if (words.empty()) return Failure{kUsage, "no FIELD=VALUE given"};
    for (const std::string& word : words) {
        if (std::string refusal = Refusal(word, names, assignments); !refusal.empty()) return Failure{kUsage, refusal};
    }
    // A code table must fit a key count given with it.
    const auto keys = std::find_if(assignments.begin(), assignments.end(), [](const Assignment& a) { return a.field == Field::KeyCountOption; });
    const auto table = std::find_if(assignments.begin(), assignments.end(), [](const Assignment& a) {
        return a.field == Field::CodeTable && a.key < 0;
    });
    if (keys != assignments.end() && table != assignments.end() &&
        static_cast<int>(table->bytes.size()) != TableLengthOfOption(keys->number)) {
        return Failure{kUsage, "code_table: " + std::to_string(table->bytes.size()) + " values, but " +
                                   std::to_string(*KeysOfOption(keys->number)) + " keys store " +
                                   std::to_string(TableLengthOfOption(keys->number))};
    }
    return assignments;
}

Result<Target> TargetOfSet(const DEVICE_INFO& now, const std::vector<Assignment>& assignments) {
    Target target{SettingsOfKeypad(now), now.SerialNumber};
    for (const Assignment& a : assignments) {
        const auto byte = static_cast<std::uint8_t>(a.number);
        switch (a.field) {
        case Field::LedLevel: target.settings.ledLevel = byte; break;
        case Field::Buzzer: target.settings.buzzer = byte; break;
        case Field::BuzzerPeriod: target.settings.buzzerPeriod = byte; break;
        case Field::KeypadTable: target.settings.keypadTable = byte; break;
        case Field::KeyCountOption: target.settings.keyCountOption = byte; break;
        case Field::Serial: {
            using namespace velnorbackup;
            target.serialText = SerialToSend(a.text, OldFirmware(now.FirmwareName, FirmwareOf::Keypad));
            target.settings.serial = target.serialText;
            break;
        }
        case Field::CodeTable: break;  // below, once the key count is known
        }
    }
    const int stored = TableLengthOfOption(target.settings.keyCountOption);
    for (const Assignment& a : assignments) {
        if (a.field != Field::CodeTable || a.key >= 0) continue;
        if (static_cast<int>(a.bytes.size()) != stored) {
            return Failure{kUsage, "code_table: " + std::to_string(a.bytes.size()) +
                                       " values, but the keypad's key count (option " +
                                       std::to_string(target.settings.keyCountOption) + ") stores " + std::to_string(stored)};
        }
        target.settings.codeTable = {};
        std::copy(a.bytes.begin(), a.bytes.end(), target.settings.codeTable.begin());
    }
    // One key at a time, over the whole table given with them if any.
    for (const Assignment& a : assignments) {
        if (a.key < 0) continue;
        if (a.key >= stored) {
            const auto keys = KeysOfOption(target.settings.keyCountOption);
            return Failure{kUsage, "key." + std::to_string(a.key) + ": " +
                                       (keys ? "a keypad with " + std::to_string(*keys) + " keys stores key.0 to key." + std::to_string(stored - 1)
                                             : "the keypad's key count (option " + std::to_string(target.settings.keyCountOption) +
                                                   ") stores no code table")};
        }
        target.settings.codeTable[static_cast<std::size_t>(a.key)] = static_cast<std::uint8_t>(a.number);
    }
    return target;
}

std::vector<Field> FieldsOf(const std::vector<Assignment>& assignments) {
    std::vector<Field> fields;
    for (const Assignment& a : assignments) fields.push_back(a.field);
    return fields;
}

}  // namespace velnorcli
