// What the fuzzers share: how an invariant fails, and what they make of their input.
#ifndef VELNOR_FUZZ_FUZZINPUT_H
#define VELNOR_FUZZ_FUZZINPUT_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

// An invariant that does not hold ends the run as a crash, which libFuzzer keeps.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

// The input as two files, split at its first zero byte.
inline std::pair<std::string, std::string> TwoFiles(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    return {input.substr(0, split), split < input.size() ? input.substr(split + 1) : std::string()};
}

inline std::size_t LongestLine(const std::string& text) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

#endif
