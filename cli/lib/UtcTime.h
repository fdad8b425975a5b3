// Times as the station's records write them: UTC, ISO 8601.
#ifndef VELNOR_CLI_UTCTIME_H
#define VELNOR_CLI_UTCTIME_H

#include <chrono>
#include <string>

namespace velnorcli {

// 2026-12-07T10:11:12Z, or 2026-12-07T10:11:12.345Z with milliseconds.
std::string UtcTime(std::chrono::system_clock::time_point when, bool milliseconds);

}  // namespace velnorcli

#endif
