// Reading a backup file exactly as `VelnorUtility -b` does (its own reader), and refusing a file
// that it would refuse, or accept and then restore other than the file says.
#ifndef VELNOR_CLI_BACKUPREADING_H
#define VELNOR_CLI_BACKUPREADING_H

#include <atomic>
#include <istream>
#include <string>

#include "ExitStatus.h"
#include "Result.h"
#include "Settings.h"

namespace velnorcli {

struct BackupContent {
    DEVICE_INFO record;  // as the utility's reader fills it
    Settings settings;   // what a restore of it leaves a keypad holding
    std::string bytes;   // the file as read (ReadBackupPath only)
};

// From a stream, read once. A refusal is status 7: "refused NAME, line N: why" (without the
// line when no one line causes it), NAME being how messages show the file.
Result<BackupContent> ReadBackup(std::istream& in, const std::string& name);

// From a file, opened as VelnorUtility -b opens it (a regular file or a pipe). A failure is
// status 7 with a message naming the file; 130 when `stop` was set while a pipe was waited for.
Result<BackupContent> ReadBackupPath(const std::string& path, const std::atomic<bool>* stop = nullptr);

}  // namespace velnorcli

#endif
