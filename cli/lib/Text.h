// Text for people: control characters made visible, and columns aligned.
#ifndef VELNOR_CLI_TEXT_H
#define VELNOR_CLI_TEXT_H

#include <string>
#include <string_view>
#include <vector>

#include "ControlBytes.h"

namespace velnorcli {

// Text from a keypad, a file or a path as a terminal may show it, so that it can neither move
// the cursor, break a line, nor reorder what follows.
using velnorbackup::EscapeControl;

// strerror's text for an errno value.
std::string ErrnoText(int error);

// Rows of cells as lines whose columns line up (two blanks between them, none after the last).
std::string AlignColumns(const std::vector<std::vector<std::string>>& rows);

// Lower-case hexadecimal without prefix or leading zeros; two digits with `pad`.
std::string Hex(unsigned value, bool pad = false);

// Without its trailing blanks (a keypad pads its serial number and firmware name with them).
std::string TrimmedRight(std::string text);

}  // namespace velnorcli

#endif
