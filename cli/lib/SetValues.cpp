#include "SetValues.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ControlBytes.h"
#include "SerialSuffix.h"
#include "Suggest.h"

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

std::string Refusal(const std::string& word, std::vector<Assignment>& assignments) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) return word + " is not FIELD=VALUE (as in led_level=5)";
    const std::string key = word.substr(0, equals);
    const std::string value = word.substr(equals + 1);
    const auto* name = std::find_if(std::begin(kNames), std::end(kNames), [&](const Name& n) { return key == n.word; });
    if (name == std::end(kNames)) {
        std::vector<std::string> known;
        for (const Name& n : kNames) known.emplace_back(n.word);
        const std::string near = DidYouMean(key, known);
        return "no setting " + key + (near.empty() ? "; the settings are led_level, buzzer, buzzer_period, keypad_table, keys, serial, code_table" : near);
    }
    for (const Assignment& done : assignments) {
        if (done.field == name->field) return key + " is given twice";
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

Result<std::vector<Assignment>> ParseAssignments(const std::vector<std::string>& words) {
    std::vector<Assignment> assignments;
    if (words.empty()) return Failure{kUsage, "no FIELD=VALUE given"};
    for (const std::string& word : words) {
        if (std::string refusal = Refusal(word, assignments); !refusal.empty()) return Failure{kUsage, refusal};
    }
    // A code table must fit a key count given with it.
    const auto keys = std::find_if(assignments.begin(), assignments.end(), [](const Assignment& a) { return a.field == Field::KeyCountOption; });
    const auto table = std::find_if(assignments.begin(), assignments.end(), [](const Assignment& a) { return a.field == Field::CodeTable; });
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
    for (const Assignment& a : assignments) {
        if (a.field != Field::CodeTable) continue;
        const int stored = TableLengthOfOption(target.settings.keyCountOption);
        if (static_cast<int>(a.bytes.size()) != stored) {
            return Failure{kUsage, "code_table: " + std::to_string(a.bytes.size()) +
                                       " values, but the keypad's key count (option " +
                                       std::to_string(target.settings.keyCountOption) + ") stores " + std::to_string(stored)};
        }
        target.settings.codeTable = {};
        std::copy(a.bytes.begin(), a.bytes.end(), target.settings.codeTable.begin());
    }
    return target;
}

std::vector<Field> FieldsOf(const std::vector<Assignment>& assignments) {
    std::vector<Field> fields;
    for (const Assignment& a : assignments) fields.push_back(a.field);
    return fields;
}

}  // namespace velnorcli
