// A keypad's status as a backup file that `VelnorUtility -b` reads back into the same settings,
// laid out as the files in examples/ are, with one last line saying when and from which keypad
// it was taken (a line the reader ignores; last, so that compare mode pairs the other lines with
// those of a file that does not have it).
#ifndef VELNOR_CLI_BACKUPWRITER_H
#define VELNOR_CLI_BACKUPWRITER_H

#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

namespace velnorcli {

struct Provenance {
    std::string time;     // UTC, ISO 8601
    std::string version;  // velnor's
    KEYPAD_ENTRY keypad;
};

struct BackupText {
    std::string text;
    // One for each setting that a restore of the text would not give back as the keypad holds
    // it: the format cannot carry that value.
    std::vector<std::string> warnings;
};

BackupText WriteBackup(const DEVICE_INFO& status, const Provenance& provenance);

// The provenance line: "Taken TIME by velnor VERSION from keypad path=... location=... usb_serial=...".
std::string ProvenanceLine(const Provenance& provenance);

}  // namespace velnorcli

#endif
