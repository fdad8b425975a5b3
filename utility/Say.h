// The program's messages: formatted, written as one piece and flushed at once, so that each
// appears when its step is done and in order with the library's own lines, also on a pipe.
#ifndef VELNOR_UTILITY_SAY_H
#define VELNOR_UTILITY_SAY_H

#include <ostream>
#include <string>

namespace velnorutility {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(std::ostream& out, const std::string& text);

}  // namespace velnorutility

#endif
