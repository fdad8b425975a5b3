// "Did you mean": the known word nearest to one that was mistyped, for a command, an option or
// a setting's name.
#ifndef VELNOR_CLI_SUGGEST_H
#define VELNOR_CLI_SUGGEST_H

#include <string>
#include <string_view>
#include <vector>

namespace velnorcli {

// The fewest insertions, deletions, substitutions and swaps of two neighbouring characters
// that turn one word into the other (each character moved at most once), ignoring case.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The first of `known` nearest to `word`: within two edits, and fewer edits than `word` has
// characters (a one-letter word resembles every short one). Leading dashes are not counted,
// so that -V is not taken for -h. "" when none is that near.
std::string Nearest(const std::string& word, const std::vector<std::string>& known);

// "; did you mean WORD?" with the nearest known word, or "".
std::string DidYouMean(const std::string& word, const std::vector<std::string>& known);

}  // namespace velnorcli

#endif
