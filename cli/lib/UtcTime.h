// When and where a line of the station's records was written: the time in UTC (ISO 8601), the host.
#ifndef VELNOR_CLI_UTCTIME_H
#define VELNOR_CLI_UTCTIME_H

#include <chrono>
#include <string>

namespace velnorcli {

// 2026-12-07T10:11:12Z, or 2026-12-07T10:11:12.345Z with milliseconds.
std::string UtcTime(std::chrono::system_clock::time_point when, bool milliseconds);

// This host's name; empty when it cannot be had.
std::string HostName();

}  // namespace velnorcli

#endif
