// velnor's reading and comparison of two backup files (the input split at its first zero
// byte). Invariants: a file equals itself; the comparison is symmetric; an accepted file,
// written back out by the backup writer, reads back as the same settings or the writer warns.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "BackupReading.h"
#include "BackupWriter.h"

namespace {

using namespace velnorcli;

const BackupContent* Accepted(const BackupReading& reading) { return std::get_if<BackupContent>(&reading); }

BackupReading Read(const std::string& text) {
    std::istringstream in(text);
    return ReadBackup(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    const BackupReading old = Read(input.substr(0, split));
    const BackupReading young = Read(split < input.size() ? input.substr(split + 1) : std::string());
    const BackupContent* a = Accepted(old);
    const BackupContent* b = Accepted(young);
    if (a != nullptr) {
        if (!Compare(a->settings, a->settings).empty()) std::abort();
        DEVICE_INFO keypad = a->record;
        keypad.SerialNumber = a->settings.serial;
        const BackupText backup = WriteBackup(keypad, Provenance{"2026-01-01T00:00:00Z", "7.0", {}});
        const BackupContent* again = nullptr;
        const BackupReading reread = Read(backup.text);
        again = Accepted(reread);
        if (backup.warnings.empty() && (again == nullptr || !(again->settings == a->settings))) std::abort();
    }
    if (a != nullptr && b != nullptr && Compare(a->settings, b->settings).size() != Compare(b->settings, a->settings).size()) {
        std::abort();
    }
    return 0;
}
