// The backup-file reader on arbitrary text, with the shipped bounds and with small ones that most
// inputs cross. Checked against the input measured here on its own: a refusal for a bound only
// when the input crosses it, a reading to the end only when it crosses none, no control byte in
// the echo but its line feeds, and the same reading under both bounds when the input fits both.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "BackupFile.h"
#include "ControlBytes.h"
#include "FuzzInput.h"

namespace {

using velnorbackup::BackupLimits;
using velnorbackup::BackupRead;

struct Reading {
    BackupRead result;
    std::string echo;
    DEVICE_INFO info;
};

Reading Read(const std::string& input, BackupLimits limits) {
    std::istringstream in(input);
    std::ostringstream echo;
    Reading reading{};
    reading.result = velnorbackup::ReadBackupFile(in, reading.info, echo, limits);
    reading.echo = echo.str();
    return reading;
}

bool Fits(const std::string& input, BackupLimits limits) {
    return input.size() <= limits.file && LongestLine(input) <= limits.line;
}

void Check(const std::string& input, BackupLimits limits, const Reading& reading) {
    using namespace velnorbackup;
    const bool fits = Fits(input, limits);
    switch (reading.result) {
    case kBackupComplete:
    case kBackupIncomplete: Require(fits); break;
    case kBackupTooLarge: Require(input.size() > limits.file); break;
    case kBackupLineTooLong: Require(LongestLine(input) > limits.line); break;
    case kBackupUnsafeSerial: Require(HoldsControlBytes(input)); break;
    default: Require(false);
    }
    Require(std::none_of(reading.echo.begin(), reading.echo.end(), [](char c) { return c != '\n' && IsControlByte(c); }));
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
    Require(!Fits(input, small) ||
            (atSmall.result == atShipped.result && atSmall.echo == atShipped.echo &&
             atSmall.info.SerialNumber == atShipped.info.SerialNumber && atSmall.info.CodeTable == atShipped.info.CodeTable));
    return 0;
}
