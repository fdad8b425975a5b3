// A backup file's text as the examples lay it out (without their key-by-key listing); by default
// the settings of examples/backup-6-keys.txt.
#ifndef VELNOR_TESTS_BACKUPFILETEXT_H
#define VELNOR_TESTS_BACKUPFILETEXT_H

#include <cstdio>
#include <string>
#include <vector>

namespace velnortest {

inline const std::vector<int> kCodeTable6 = {0x1e, 0x1f, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25,
                                         0x26, 0x27, 0x28, 0x2c, 0x29, 0x2a, 0x2b, 0x58};

inline std::string BackupFileText(const std::string& version, const std::string& serial, int keys = 6,
                                  const std::vector<int>& table = kCodeTable6, int keypadTable = 1, int led = 7, int buzzer = 1,
                                  int period = 0x32) {
    char hex[8];
    std::string text = "Velnor keypad settings backup\nVersion No " + version + "\nSerial No " + serial + "\nVelnor has " +
                       std::to_string(keys) + " keys\nKeycode values\n";
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s%x", i == 0 ? "" : " ", table[i]);
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%x", period);
    return text + "\nKeypad Table " + std::to_string(keypadTable) + "\nLed Brightness " + std::to_string(led) +
           "\nBuzzer " + std::to_string(buzzer) + "\nBuzzer Period " + hex + "\n";
}

}  // namespace velnortest

#endif
