#include "Settings.h"

#include "SerialSuffix.h"

namespace velnorcli {

std::string_view FieldName(Field field) {
    switch (field) {
    case Field::LedLevel: return "led_level";
    case Field::Buzzer: return "buzzer";
    case Field::BuzzerPeriod: return "buzzer_period";
    case Field::KeypadTable: return "keypad_table";
    case Field::KeyCountOption: return "key_count_option";
    case Field::CodeTable: return "code_table";
    case Field::Serial: return "serial";
    }
    return "?";
}

Value ValueOf(const Settings& settings, Field field) {
    switch (field) {
    case Field::LedLevel: return settings.ledLevel;
    case Field::Buzzer: return settings.buzzer;
    case Field::BuzzerPeriod: return settings.buzzerPeriod;
    case Field::KeypadTable: return settings.keypadTable;
    case Field::KeyCountOption: return settings.keyCountOption;
    case Field::CodeTable: return settings.codeTable;
    case Field::Serial: return settings.serial;
    }
    return 0;
}

std::vector<Difference> Compare(const Settings& left, const Settings& right) {
    std::vector<Difference> differences;
    for (Field field : kFields) {
        Value a = ValueOf(left, field);
        Value b = ValueOf(right, field);
        if (a != b) differences.push_back({field, std::move(a), std::move(b)});
    }
    return differences;
}

Settings SettingsOfKeypad(const DEVICE_INFO& status) {
    return Settings{status.LedLevel,       status.BuzzerSetting, status.BuzzerPeriod, status.KeypadTable,
                    status.KeyCountOption, status.CodeTable,     status.SerialNumber};
}

Settings SettingsAfterRestore(const DEVICE_INFO& file) {
    Settings settings = SettingsOfKeypad(file);
    using namespace velnorbackup;
    settings.serial = SerialToSend(settings.serial, OldFirmware(file.FirmwareName, FirmwareOf::BackupFile));
    if (settings.serial.size() > kSerialShown) settings.serial.resize(kSerialShown);
    return settings;
}

}  // namespace velnorcli
