#include "Json.h"

#include "Render.h"

namespace velnorcli {

namespace {

// Absent text is null, never "".
Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

// E's common members.
Json EntryJson(const KEYPAD_ENTRY& keypad, ExitStatus status, const std::string& message) {
    return Json{{"keypad", KeypadJson(keypad)}, {"status", status}, {"message", TextOrNull(message)}};
}

Json FailedEntryJson(const KEYPAD_ENTRY& keypad, const Failure& failure) {
    Json entry = EntryJson(keypad, failure.status, failure.message);
    entry["error"] = FailureJson(failure);
    return entry;
}

Json KeypadsJson(Json entries) { return Json{{"keypads", std::move(entries)}}; }

}  // namespace

Json KeypadJson(const KEYPAD_ENTRY& keypad) {
    return Json{{"path", keypad.Path},
                {"location", TextOrNull(keypad.Location)},
                {"usb_serial", TextOrNull(keypad.UsbSerial)},
                {"manufacturer", TextOrNull(keypad.Manufacturer)},
                {"product", TextOrNull(keypad.Product)}};
}

Json SettingsJson(const DEVICE_INFO& status) {
    const std::optional<int> keys = KeysOfOption(status.KeyCountOption);
    return Json{{"led_level", status.LedLevel},
                {"buzzer", status.BuzzerSetting},
                {"buzzer_period", status.BuzzerPeriod},
                {"keypad_table", status.KeypadTable},
                {"key_count_option", status.KeyCountOption},
                {"keys", keys ? Json(*keys) : Json(nullptr)},
                {"code_table", status.CodeTable},
                {"firmware", status.FirmwareName},
                {"serial", status.SerialNumber}};
}

Json ValueJson(const Value& value) {
    return std::visit([](const auto& held) { return Json(held); }, value);
}

Json DifferencesJson(const std::vector<Difference>& differences) {
    Json list = Json::array();
    for (const Difference& difference : differences) {
        list.push_back(Json{{"field", FieldName(difference.field)},
                            {"from", ValueJson(difference.left)},
                            {"to", ValueJson(difference.right)}});
    }
    return list;
}

Json FailureJson(const Failure& failure) {
    return Json{{"status", failure.status}, {"message", failure.message}, {"hint", TextOrNull(failure.hint)}};
}

Json ListJson(const std::vector<KEYPAD_ENTRY>& keypads) {
    Json list = Json::array();
    for (const KEYPAD_ENTRY& keypad : keypads) list.push_back(KeypadJson(keypad));
    return KeypadsJson(std::move(list));
}

Json StatusJson(const std::vector<StatusReading>& readings) {
    Json list = Json::array();
    for (const StatusReading& reading : readings) {
        if (!reading.status) {
            list.push_back(FailedEntryJson(reading.keypad, reading.failure));
            continue;
        }
        Json entry = EntryJson(reading.keypad, kDone, {});
        entry["settings"] = SettingsJson(*reading.status);
        list.push_back(std::move(entry));
    }
    return KeypadsJson(std::move(list));
}

Json VerifyJson(const std::vector<VerifyOutcome>& outcomes, const std::string& file) {
    Json list = Json::array();
    for (const VerifyOutcome& outcome : outcomes) {
        if (!outcome.differences) {
            list.push_back(FailedEntryJson(outcome.keypad, outcome.failure));
            continue;
        }
        const bool equal = outcome.differences->empty();
        Json entry = EntryJson(outcome.keypad, equal ? kDone : kDifferent, {});
        entry["file"] = file;
        entry["equal"] = equal;
        entry["differences"] = DifferencesJson(*outcome.differences);
        list.push_back(std::move(entry));
    }
    return KeypadsJson(std::move(list));
}

Json BackupJson(const KEYPAD_ENTRY& keypad, const std::string& file, const std::vector<std::string>& warnings) {
    Json entry = EntryJson(keypad, warnings.empty() ? kDone : kDifferent, {});
    entry["file"] = file;
    entry["warnings"] = warnings;
    return KeypadsJson(Json::array({std::move(entry)}));
}

Json ReportsJson(const std::vector<KeypadReport>& reports) {
    Json list = Json::array();
    for (const KeypadReport& report : reports) {
        Json entry = EntryJson(report.keypad, report.status, report.message);
        entry["result"] = ResultName(report.result);
        entry["changes"] = DifferencesJson(report.changes);
        list.push_back(std::move(entry));
    }
    return KeypadsJson(std::move(list));
}

Json DiffJson(const std::vector<Difference>& differences) {
    return Json{{"equal", differences.empty()}, {"differences", DifferencesJson(differences)}};
}

Json DoctorJson(const Diagnosis& diagnosis) {
    Json nodes = Json::array();
    for (const NodeFinding& node : diagnosis.nodes) {
        nodes.push_back(Json{{"node", node.node}, {"location", node.location}, {"usable", node.usable}, {"why", node.why}});
    }
    return Json{{"nodes", nodes},
                {"notes", diagnosis.notes},
                {"commands", diagnosis.commands},
                {"status", diagnosis.result.status},
                {"message", diagnosis.result.message}};
}

Json ErrorJson(const Failure& failure, const KEYPAD_ENTRY* keypad) {
    if (keypad != nullptr) return KeypadsJson(Json::array({FailedEntryJson(*keypad, failure)}));
    return Json{{"error", FailureJson(failure)}};
}

Json LogJson(const KeypadReport& report, const LogContext& context) {
    const auto text = [](const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); };
    const auto serialOf = [](const std::optional<DEVICE_INFO>& status) {
        return status ? Json(status->SerialNumber) : Json(nullptr);
    };
    Json line{{"time", context.time},
              {"host", context.host},
              {"velnor_version", context.version},
              {"command", context.command},
              {"location", TextOrNull(report.keypad.Location)},
              {"usb_serial", TextOrNull(report.keypad.UsbSerial)},
              {"serial_before", serialOf(report.before)},
              {"serial_after", serialOf(report.after)},
              {"firmware", report.before ? Json(report.before->FirmwareName) : Json(nullptr)},
              {"file", text(context.file)},
              {"file_sha256", text(context.fileSha256)},
              {"changes", DifferencesJson(report.changes)},
              {"result", ResultName(report.result)},
              {"status", report.status},
              {"duration_ms", report.durationMs},
              {"message", TextOrNull(report.message)}};
    if (!context.station.empty()) line["station"] = context.station;
    return line;
}

Json KeysJson(const KeyNames& names) {
    Json keys = Json::array();
    for (unsigned code = 0; code < 256; ++code) {
        const std::string_view name = names.Name(static_cast<std::uint8_t>(code));
        if (!name.empty()) keys.push_back(Json{{"code", code}, {"name", name}});
    }
    return Json{{"keys", std::move(keys)}};
}

std::string Dump(const Json& document) {
    return document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace velnorcli
