// The backup-file reader on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "BackupFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream echo;
    DEVICE_INFO info;
    const int result = velnorutility::ReadBackupFile(in, info, echo);
    if (result != 0 && result != 1) std::abort();
    return 0;
}
