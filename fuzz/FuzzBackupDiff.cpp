// velnor's reading and comparison of two backup files (the input split at its first zero
// byte). Invariants: a file equals itself; the comparison is symmetric; an accepted file,
// written back out by the backup writer, reads back as the same settings or the writer warns.
#include <cstdint>
#include <sstream>
#include <string>

#include "BackupReading.h"
#include "BackupWriter.h"
#include "FuzzInput.h"

namespace {

using namespace velnorcli;

const BackupContent* Accepted(const Result<BackupContent>& reading) { return reading ? &*reading : nullptr; }

Result<BackupContent> Read(const std::string& text) {
    std::istringstream in(text);
    return ReadBackup(in, "file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [first, second] = TwoFiles(data, size);
    const Result<BackupContent> old = Read(first);
    const Result<BackupContent> young = Read(second);
    const BackupContent* a = Accepted(old);
    const BackupContent* b = Accepted(young);
    if (a != nullptr) {
        Require(Compare(a->settings, a->settings).empty());
        DEVICE_INFO keypad = a->record;
        keypad.SerialNumber = a->settings.serial;
        const BackupText backup = WriteBackup(keypad, Provenance{"2026-01-01T00:00:00Z", "7.0", {}});
        const Result<BackupContent> reread = Read(backup.text);
        const BackupContent* again = Accepted(reread);
        Require(!backup.warnings.empty() || (again != nullptr && again->settings == a->settings));
    }
    Require(a == nullptr || b == nullptr || Compare(a->settings, b->settings).size() == Compare(b->settings, a->settings).size());
    return 0;
}
