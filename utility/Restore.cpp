// Restore mode: a backup file's settings into the keypad, then flash, reset, reconnect and
// read back.
#include <chrono>
#include <optional>
#include <thread>

#include "BackupFile.h"
#include "InputFile.h"
#include "KeyCounts.h"
#include "Run.h"
#include "Say.h"
#include "SerialSuffix.h"
#include "StatusLines.h"

namespace velnorutility {

using namespace velnorbackup;

namespace {

// Why a backup file cannot be restored; nothing for a complete one.
std::optional<std::string> Rejection(BackupRead read) {
    switch (read) {
    case kBackupComplete: return std::nullopt;
    case kBackupTooLarge: return Format("Backup file larger than %zu bytes\r\n", kBackupFileCapacity);
    case kBackupLineTooLong: return Format("Backup file has a line longer than %zu characters\r\n", kLineCapacity);
    case kBackupUnsafeSerial: return "Backup file serial number holds control characters\r\n";
    case kBackupIncomplete: break;
    }
    return "Failed to retrieve all config data from Backup file\r\n";
}

void Report(std::ostream& out, int result, const std::string& success, const char* failureFormat) {
    Say(out, result == 0 ? success : Format(failureFormat, result));
}

}  // namespace

int RestoreFromBackup(Run& run, std::ostream& out) {
    const std::unique_ptr<std::istream> file = OpenInputFile(run.line.firstFile);
    if (!file) {
        Say(out, "Cannot open backup file\r\n");
        return 1;
    }
    run.settings = DEVICE_INFO{};
    // A file that cannot be used ends the run with status 2, before the keypad is touched.
    if (const std::optional<std::string> rejection = Rejection(ReadBackupFile(*file, run.settings, out))) {
        Say(out, *rejection);
        return 2;
    }
    if (!OpenConnection(run, out)) return 1;

    PlixoApi& keypad = *run.keypad;
    DEVICE_INFO& s = run.settings;
    Report(out, keypad.SetBuzzer(s.BuzzerSetting, kTimeoutMs), Format(" Successful in Buzzer  %d\r\n", s.BuzzerSetting),
           "Buzzer failed %d \r\n");
    Report(out, keypad.SetBuzzerPeriod(s.BuzzerPeriod, kTimeoutMs),
           Format(" Successful in Buzzer Period  %d\r\n", s.BuzzerPeriod), "Buzzer Period failed %d \r\n");
    Report(out, keypad.SetKeypadTable(s.KeypadTable, kTimeoutMs),
           Format(" Successful in SetKeypadTable  %d\r\n", s.KeypadTable), "SetKeypadTable failed %d \r\n");
    Report(out, keypad.SetLedLevel(s.LedLevel, kTimeoutMs), Format(" Successful in SetLedLevel  %d\r\n", s.LedLevel),
           "SetLedLevel failed %d \r\n");
    Report(out, keypad.SetOption(s.KeyCountOption, kTimeoutMs),
           Format(" Successful in setting number of keys %c\r\n", KeyCharacter(s.KeyCountOption)),
           "SetOption failed %d \r\n");
    s.SerialNumber = SerialToSend(s.SerialNumber, OldFirmware(s.FirmwareName, FirmwareOf::BackupFile));
    Report(out, keypad.SetSerialNumber(s.SerialNumber.c_str(), kTimeoutMs),
           Format(" Successful in setting serial number %s\r\n", s.SerialNumber.c_str()), "SetOption failed %d \r\n");
    Report(out, keypad.LoadCodeTable(reinterpret_cast<const char*>(s.CodeTable.data()), 20, kTimeoutMs),
           " Successful in LoadCodeTable \r\n", "LoadCodeTable failed %d \r\n");
    Report(out, keypad.WriteDefaultToFlash(kTimeoutMs), " Successful in write to flash\r\n",
           "WriteDefaultToFlash failed %d \r\n");
    keypad.ResetToFactoryDefault(kTimeoutMs);

    // The keypad restarts after the reset.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    if (!OpenConnection(run, out)) return 1;
    const int status = run.keypad->GetDeviceStatus(&s, kTimeoutMs);
    if (status == 0) {
        SayStatus(s, out);
    } else {
        Say(out, Format("GetDeviceStatus failed %d \r\n", status));
    }
    return 0;
}

}  // namespace velnorutility
