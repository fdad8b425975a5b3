#include "UtcTime.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace velnorcli {

std::string UtcTime(std::chrono::system_clock::time_point when, bool milliseconds) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    if (milliseconds) {
        const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
        length += static_cast<std::size_t>(std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis)));
    }
    std::snprintf(text + length, sizeof text - length, "Z");
    return text;
}

std::string HostName() {
    char host[256] = {};
    return gethostname(host, sizeof host - 1) == 0 ? host : "";
}

}  // namespace velnorcli
