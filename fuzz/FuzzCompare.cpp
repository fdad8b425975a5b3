// Compare mode on two arbitrary files (the input split at its first zero byte).
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Compare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    std::istringstream first(input.substr(0, split));
    std::istringstream second(split < input.size() ? input.substr(split + 1) : std::string());
    std::ostringstream out;
    const int result = velnorutility::CompareBackupFiles(first, second, out);
    const std::string verdict = result == 0 ? "=====   PASSED - KEYPAD HAS BEEN UPGRADED   =====\n"
                                            : "=====  FAILED - KEYPAD HAS NOT BEEN UPGRADED ====\n";
    const std::string output = out.str();
    if ((result != 0 && result != 1) || output.size() < verdict.size() ||
        output.compare(output.size() - verdict.size(), verdict.size(), verdict) != 0) {
        std::abort();
    }
    return 0;
}
