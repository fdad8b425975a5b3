// One run of VelnorUtility: what its command line gave, its settings record, and the keypad
// connection once it has been opened.
#ifndef VELNOR_UTILITY_RUN_H
#define VELNOR_UTILITY_RUN_H

#include <ostream>

#include "CommandLine.h"
#include "velnor/PlixoApi.h"

namespace velnorutility {

constexpr int kVendorId = 8263;   // 0x2047
constexpr int kProductId = 2495;  // 0x09BF
constexpr int kTimeoutMs = 3000;

struct Run {
    CommandLine line;
    DEVICE_INFO settings;
    // Created on the heap at the first opening; destroyed only when the keypad is not
    // connected. A run that got past the connection ends with it alive.
    PlixoApi* keypad = nullptr;
};

// Opens the keypad connection (again, on the same object, when it exists). False, with
// "velnor not connected" printed and the object destroyed, when the keypad is not there.
bool OpenConnection(Run& run, std::ostream& out);

int RestoreFromBackup(Run& run, std::ostream& out);
int ProgramKeyCount(Run& run, std::ostream& out);
int CompareFiles(const Run& run, std::ostream& out);

}  // namespace velnorutility

#endif
