#include "Json.h"

#include "Render.h"

namespace velnorcli {

Json KeypadJson(const KEYPAD_ENTRY& keypad) {
    return Json{{"path", keypad.Path},
                {"location", keypad.Location},
                {"usb_serial", keypad.UsbSerial},
                {"manufacturer", keypad.Manufacturer},
                {"product", keypad.Product}};
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

Json ListJson(const std::vector<KEYPAD_ENTRY>& keypads) {
    Json list = Json::array();
    for (const KEYPAD_ENTRY& keypad : keypads) list.push_back(KeypadJson(keypad));
    return Json{{"keypads", list}};
}

Json StatusJson(const KEYPAD_ENTRY& keypad, const DEVICE_INFO& status) {
    return Json{{"keypad", KeypadJson(keypad)}, {"settings", SettingsJson(status)}};
}

Json FailureJson(const Failure& failure) { return Json{{"status", failure.status}, {"message", failure.message}}; }

Json StatusAllJson(const std::vector<StatusReading>& readings) {
    Json list = Json::array();
    for (const StatusReading& reading : readings) {
        if (reading.status) {
            list.push_back(StatusJson(reading.keypad, *reading.status));
        } else {
            list.push_back(Json{{"keypad", KeypadJson(reading.keypad)}, {"error", FailureJson(reading.failure)}});
        }
    }
    return Json{{"keypads", list}};
}

namespace {

// Each difference as {"field": ..., left: ..., right: ...}.
Json DifferenceList(const std::vector<Difference>& differences, const char* left, const char* right) {
    Json list = Json::array();
    for (const Difference& difference : differences) {
        list.push_back(Json{{"field", FieldName(difference.field)},
                            {left, ValueJson(difference.left)},
                            {right, ValueJson(difference.right)}});
    }
    return list;
}

}  // namespace

Json DifferencesJson(const std::vector<Difference>& differences, const char* left, const char* right) {
    return Json{{"equal", differences.empty()}, {"differences", DifferenceList(differences, left, right)}};
}

Json VerifyAllJson(const std::vector<VerifyOutcome>& outcomes) {
    Json list = Json::array();
    for (const VerifyOutcome& outcome : outcomes) {
        if (outcome.differences) {
            Json differences = DifferencesJson(*outcome.differences, "keypad", "file");
            list.push_back(Json{{"keypad", KeypadJson(outcome.keypad)},
                                {"equal", differences["equal"]},
                                {"differences", differences["differences"]}});
        } else {
            list.push_back(Json{{"keypad", KeypadJson(outcome.keypad)}, {"error", FailureJson(outcome.failure)}});
        }
    }
    return Json{{"keypads", list}};
}

Json BackupJson(const KEYPAD_ENTRY& keypad, const std::string& file, const std::vector<std::string>& warnings) {
    return Json{{"keypad", KeypadJson(keypad)}, {"file", file}, {"warnings", warnings}};
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

Json ChangesJson(const std::vector<Difference>& changes) {
    return DifferenceList(changes, "from", "to");
}

Json ReportsJson(const std::vector<KeypadReport>& reports) {
    Json list = Json::array();
    for (const KeypadReport& report : reports) {
        list.push_back(Json{{"keypad", KeypadJson(report.keypad)},
                            {"result", ResultName(report.result)},
                            {"changes", ChangesJson(report.changes)},
                            {"status", report.status},
                            {"message", report.message}});
    }
    return Json{{"keypads", list}};
}

Json LogJson(const KeypadReport& report, const LogContext& context) {
    const auto text = [](const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); };
    const auto serialOf = [](const std::optional<DEVICE_INFO>& status) {
        return status ? Json(status->SerialNumber) : Json(nullptr);
    };
    return Json{{"time", context.time},
                {"host", context.host},
                {"velnor_version", context.version},
                {"command", context.command},
                {"location", report.keypad.Location},
                {"usb_serial", report.keypad.UsbSerial},
                {"serial_before", serialOf(report.before)},
                {"serial_after", serialOf(report.after)},
                {"firmware", report.before ? Json(report.before->FirmwareName) : Json(nullptr)},
                {"file", text(context.file)},
                {"file_sha256", text(context.fileSha256)},
                {"changes", ChangesJson(report.changes)},
                {"result", ResultName(report.result)},
                {"status", report.status},
                {"duration_ms", report.durationMs},
                {"message", report.message}};
}

Json ErrorJson(const Failure& failure, const KEYPAD_ENTRY* keypad) {
    Json document{{"error", FailureJson(failure)}};
    if (keypad != nullptr) document["keypad"] = KeypadJson(*keypad);
    return document;
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
