// Compare mode: two backup files judged line by line, the n-th line of the first against the
// n-th of the second, until the shorter one ends.
#ifndef VELNOR_UTILITY_COMPARE_H
#define VELNOR_UTILITY_COMPARE_H

#include <istream>
#include <ostream>
#include <string_view>

namespace velnorutility {

// True when the pair matches, judged by what the first file's line begins with. Prints the
// "matched " of a Buzzer Period line whatever the outcome.
bool LinesMatch(std::string_view first, std::string_view second, std::ostream& out);

// Prints "Matched" lines and the verdict; 0 when exactly seven pairs matched, else 1. The
// files are streamed, never held whole.
int CompareBackupFiles(std::istream& first, std::istream& second, std::ostream& out);

}  // namespace velnorutility

#endif
