// Compare mode: two backup files judged line by line, the n-th line of the first against the
// n-th of the second, until the shorter one ends.
#ifndef VELNOR_UTILITY_COMPARE_H
#define VELNOR_UTILITY_COMPARE_H

#include <istream>
#include <ostream>
#include <string_view>

#include "LineReader.h"

namespace velnorutility {

// True when the pair matches, judged by what the first file's line begins with. Prints the
// "matched " of a Buzzer Period line whatever the outcome.
bool LinesMatch(std::string_view first, std::string_view second, std::ostream& out);

// Prints "Matched" lines (the first file's line with its control bytes shown as \xHH) and the
// verdict; 0 when exactly seven pairs matched, else 1. The files are streamed, one line of each
// at a time, so memory stays the same whatever their length; a line longer than lineCapacity
// stops the comparison with a message instead of a verdict, and status 1.
int CompareBackupFiles(std::istream& first, std::istream& second, std::ostream& out,
                       std::size_t lineCapacity = velnorbackup::kLineCapacity);

}  // namespace velnorutility

#endif
