// Compare mode on two arbitrary files (the input split at its first zero byte), with the shipped
// line bound and with a small one that most inputs cross. The output ends with a verdict, or
// with the refusal of a line over the bound when the input has one; it holds no control byte
// but line feeds (and the refusal's line end); both bounds give the same output when every
// line fits the small one.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "Compare.h"
#include "ControlBytes.h"
#include "FuzzInput.h"

namespace {

const std::string kPassed = "=====   PASSED - KEYPAD HAS BEEN UPGRADED   =====\n";
const std::string kFailed = "=====  FAILED - KEYPAD HAS NOT BEEN UPGRADED ====\n";

struct Comparison {
    int result;
    std::string output;
};

Comparison Compare(const std::string& first, const std::string& second, std::size_t lineCapacity) {
    std::istringstream a(first);
    std::istringstream b(second);
    std::ostringstream out;
    const int result = velnorutility::CompareBackupFiles(a, b, out, lineCapacity);
    return {result, out.str()};
}

void Check(const Comparison& comparison, std::size_t longest, std::size_t lineCapacity) {
    const std::string refusal = "Compared file has a line longer than " + std::to_string(lineCapacity) + " characters\r\n";
    std::string body = comparison.output;
    const bool refused = body.ends_with(refusal);
    if (refused) body.resize(body.size() - refusal.size());
    const bool valid = refused ? comparison.result == 1 && longest > lineCapacity
                               : (comparison.result == 0 && body.ends_with(kPassed)) ||
                                     (comparison.result == 1 && body.ends_with(kFailed));
    const bool printable =
        std::none_of(body.begin(), body.end(), [](char c) { return c != '\n' && velnorbackup::IsControlByte(c); });
    Require(valid && printable);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [first, second] = TwoFiles(data, size);
    const std::size_t longest = std::max(LongestLine(first), LongestLine(second));
    constexpr std::size_t kSmall = 64;
    const Comparison shipped = Compare(first, second, velnorbackup::kLineCapacity);
    const Comparison small = Compare(first, second, kSmall);
    Check(shipped, longest, velnorbackup::kLineCapacity);
    Check(small, longest, kSmall);
    Require(longest > kSmall || (small.result == shipped.result && small.output == shipped.output));
    return 0;
}
