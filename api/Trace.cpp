#include "Trace.h"

#include <cstdarg>
#include <cstdio>

namespace velnor {

void Trace(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

}  // namespace velnor
