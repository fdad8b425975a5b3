// The library's trace lines: written to standard output and flushed at once, so that they keep
// their place among the program's own lines even when standard output is a pipe.
#ifndef VELNOR_TRACE_H
#define VELNOR_TRACE_H

namespace velnor {

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velnor

#endif
