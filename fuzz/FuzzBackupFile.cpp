// The backup-file reader on arbitrary text, with the shipped bounds and with small ones that most
// inputs cross. Checked against the input measured here on its own: a refusal for a bound only
// when the input crosses it, a reading to the end only when it crosses none, no control byte in
// the echo but its line feeds, and the same reading under both bounds when the input fits both.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "BackupFile.h"
#include "ControlBytes.h"

namespace {

using velnorutility::BackupLimits;
using velnorutility::BackupRead;

struct Reading {
    BackupRead result;
    std::string echo;
    DEVICE_INFO info;
};

Reading Read(const std::string& input, BackupLimits limits) {
    std::istringstream in(input);
    std::ostringstream echo;
    Reading reading{};
    reading.result = velnorutility::ReadBackupFile(in, reading.info, echo, limits);
    reading.echo = echo.str();
    return reading;
}

std::size_t LongestLine(const std::string& input) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

bool Fits(const std::string& input, BackupLimits limits) {
    return input.size() <= limits.file && LongestLine(input) <= limits.line;
}

void Check(const std::string& input, BackupLimits limits, const Reading& reading) {
    using namespace velnorutility;
    const bool fits = Fits(input, limits);
    switch (reading.result) {
    case kBackupComplete:
    case kBackupIncomplete:
        if (!fits) std::abort();
        break;
    case kBackupTooLarge:
        if (input.size() <= limits.file) std::abort();
        break;
    case kBackupLineTooLong:
        if (LongestLine(input) <= limits.line) std::abort();
        break;
    case kBackupUnsafeSerial:
        if (!HoldsControlBytes(input)) std::abort();
        break;
    default:
        std::abort();
    }
    if (std::any_of(reading.echo.begin(), reading.echo.end(), [](char c) { return c != '\n' && IsControlByte(c); })) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const BackupLimits shipped{};
    const BackupLimits small{64, 512};
    const Reading atShipped = Read(input, shipped);
    const Reading atSmall = Read(input, small);
    Check(input, shipped, atShipped);
    Check(input, small, atSmall);
    if (Fits(input, small) &&
        (atSmall.result != atShipped.result || atSmall.echo != atShipped.echo ||
         atSmall.info.SerialNumber != atShipped.info.SerialNumber || atSmall.info.CodeTable != atShipped.info.CodeTable)) {
        std::abort();
    }
    return 0;
}
