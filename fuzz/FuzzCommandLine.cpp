// The command-line scanner on arbitrary words (the input split at zero bytes).
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{""};
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    velnorutility::CommandLine line;
    std::ostringstream out;
    velnorutility::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line, out);
    using velnorutility::CommandLine;
    Require(line.keyCount.size() <= CommandLine::kKeyCountCapacity && line.serial.size() <= CommandLine::kSerialCapacity &&
            line.firstFile.size() <= CommandLine::kFileNameCapacity && line.secondFile.size() <= CommandLine::kFileNameCapacity);
    return 0;
}
