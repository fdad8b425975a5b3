#include "Render.h"

#include <algorithm>

#include "Selection.h"
#include "Text.h"

namespace velnorcli {

namespace {

std::string OrDash(const std::string& text) { return text.empty() ? "-" : EscapeControl(text); }

// A key's code and name as a difference shows it: "1e (1 and !)". A long name is cut so that a
// row of two fits 100 columns.
std::string KeyText(std::uint8_t code, const KeyNames& names) {
    constexpr std::size_t kLongest = 32;
    std::string name(names.Name(code));
    if (name.empty()) return Hex(code, true);
    std::vector<std::size_t> starts;  // of the characters
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    if (starts.size() > kLongest) name = name.substr(0, starts[kLongest - 3]) + "...";
    return Hex(code, true) + " (" + name + ")";
}

}  // namespace

std::string RenderList(const std::vector<KEYPAD_ENTRY>& keypads) {
    std::vector<std::vector<std::string>> rows{{"PATH", "LOCATION", "USB SERIAL", "MANUFACTURER", "PRODUCT"}};
    for (const KEYPAD_ENTRY& keypad : keypads) {
        rows.push_back({OrDash(keypad.Path), OrDash(keypad.Location), OrDash(keypad.UsbSerial),
                        OrDash(keypad.Manufacturer), OrDash(keypad.Product)});
    }
    return AlignColumns(rows);
}

std::string RenderStatus(const KEYPAD_ENTRY& keypad, const DEVICE_INFO& status, const KeyNames& names) {
    std::vector<std::vector<std::string>> rows{
        {"Keypad", OrDash(keypad.Path)},
        {"Location", OrDash(keypad.Location)},
        {"USB serial", OrDash(keypad.UsbSerial)},
        {"Firmware", ShownValue(status.FirmwareName)},
        {"Serial number", ShownValue(status.SerialNumber)},
        {"Keys", ShownValue(Field::KeyCountOption, static_cast<int>(status.KeyCountOption))},
        {"LED level", Number(status.LedLevel)},
        {"Buzzer", Number(status.BuzzerSetting)},
        {"Buzzer period", Number(status.BuzzerPeriod)},
        {"Keypad table", Number(status.KeypadTable)},
    };
    std::string text = AlignColumns(rows) + "Code table\n";
    std::vector<std::vector<std::string>> keys{{"  KEY", "CODE", "NAME"}};
    const int stored = TableLengthOfOption(status.KeyCountOption);
    for (std::size_t i = 0; i < status.CodeTable.size(); ++i) {
        const std::uint8_t code = status.CodeTable[i];
        // Entries past those the key count uses are shown only when they hold something.
        if (stored > 0 && static_cast<int>(i) >= stored && code == 0) continue;
        const std::string name(names.Name(code));
        keys.push_back({"  " + std::to_string(i), Hex(code, true), name.empty() ? "-" : name});
    }
    return text + AlignColumns(keys);
}

std::string RenderDifferences(const std::vector<Difference>& differences, const std::string& left,
                              const std::string& right, const KeyNames& names) {
    std::vector<std::vector<std::string>> rows{{"FIELD", left, "", right}};
    for (const Field field : kFields) {
        for (const Difference& difference : differences) {
            if (difference.field != field) continue;
            if (field != Field::CodeTable) {
                rows.push_back({std::string(ShownFieldName(field)), ShownValue(field, difference.left), "->",
                                ShownValue(field, difference.right)});
                continue;
            }
            const CodeTable& a = std::get<CodeTable>(difference.left);
            const CodeTable& b = std::get<CodeTable>(difference.right);
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (a[i] != b[i]) rows.push_back({"key " + std::to_string(i), KeyText(a[i], names), "->", KeyText(b[i], names)});
            }
        }
    }
    return AlignColumns(rows);
}

std::string RenderKeys(const KeyNames& names) {
    std::vector<std::vector<std::string>> rows;
    for (unsigned code = 0; code < 256; ++code) {
        const std::string_view name = names.Name(static_cast<std::uint8_t>(code));
        if (!name.empty()) rows.push_back({Hex(code, true), std::string(name)});
    }
    return AlignColumns(rows);
}

std::string RenderReports(const std::vector<KeypadReport>& reports) {
    std::vector<std::vector<std::string>> rows{{"KEYPAD", "RESULT", "STATUS", "MESSAGE"}};
    for (const KeypadReport& report : reports) {
        rows.push_back({KeypadName(report.keypad), std::string(ResultName(report.result)), std::to_string(report.status), report.message});
    }
    return AlignColumns(rows);
}

std::string RenderDiagnosis(const Diagnosis& diagnosis) {
    std::string text;
    std::vector<std::vector<std::string>> rows;
    for (const NodeFinding& node : diagnosis.nodes) {
        rows.push_back({EscapeControl(node.node), OrDash(node.location), node.usable ? "usable" : "NOT usable: " + node.why});
    }
    text += AlignColumns(rows);
    for (const std::string& note : diagnosis.notes) text += note + "\n";
    if (!diagnosis.commands.empty()) {
        text += "To fix it:\n";
        for (const std::string& command : diagnosis.commands) text += "  " + command + "\n";
    }
    return text;
}

std::string_view ResultName(KeypadResult result) {
    switch (result) {
    case KeypadResult::UpToDate: return "up-to-date";
    case KeypadResult::Updated: return "updated";
    case KeypadResult::Planned: return "planned";
    case KeypadResult::UnchangedAfterFailure: return "unchanged-after-failure";
    case KeypadResult::Failed: return "failed";
    case KeypadResult::Restarted: return "restarted";
    case KeypadResult::Equal: return "equal";
    case KeypadResult::Different: return "different";
    case KeypadResult::Read: return "read";
    }
    return "failed";
}



namespace {

// The firmware name is shown beside the result but never compared: nothing writes it.
std::string Firmware(const DEVICE_INFO& status) {
    return "firmware " + EscapeControl(TrimmedRight(status.FirmwareName)) + ", not compared";
}

}  // namespace

std::string RenderVerify(const VerifyOutcome& outcome, const DEVICE_INFO& status, const std::string& file,
                         const KeyNames& names) {
    if (outcome.differences->empty()) {
        return "equal: keypad " + KeypadName(outcome.keypad) + " holds the settings of " + EscapeControl(file) + " (" +
               Firmware(status) + ")\n";
    }
    return "keypad " + KeypadName(outcome.keypad) + " (" + Firmware(status) + ") differs from " + EscapeControl(file) +
           ":\n" + RenderDifferences(*outcome.differences, "KEYPAD", "FILE", names);
}

std::string RenderVerifyEntry(const VerifyOutcome& outcome, const DEVICE_INFO& status, const KeyNames& names) {
    if (outcome.differences->empty()) return KeypadName(outcome.keypad) + ": equal (" + Firmware(status) + ")\n";
    return KeypadName(outcome.keypad) + ": " + std::to_string(outcome.differences->size()) + " differences (" +
           Firmware(status) + ")\n" + RenderDifferences(*outcome.differences, "KEYPAD", "FILE", names);
}

std::string RenderBackupWritten(const KEYPAD_ENTRY& keypad, const std::string& file, bool incomplete) {
    return "backup of keypad " + KeypadName(keypad) + " written to " + EscapeControl(file) +
           (incomplete ? " (incomplete, see the warnings)" : "");
}

// One line however many: velnor serials lists them all.
std::string RenderUnknownSerials(const std::vector<std::string>& unknown, const std::string& list) {
    if (unknown.empty()) return {};
    std::string some;
    for (std::size_t i = 0; i < std::min<std::size_t>(unknown.size(), 3); ++i) some += (i == 0 ? "" : ", ") + unknown[i];
    if (unknown.size() > 3) some += ", ...";
    return std::to_string(unknown.size()) + (unknown.size() == 1 ? " serial" : " serials") + " (" + EscapeControl(some) +
           ") with an unknown outcome: a velnor of this host stopped between writing a keypad and recording "
           "it, and none is handed out again; velnor serials " + EscapeControl(list) + " --resolve settles those "
           "that an attached keypad holds";
}

std::string RenderStopped(const char* signal) {
    return std::string("stopped by ") + signal + " after the step each keypad was at (status 130)";
}

}  // namespace velnorcli
