#include "Suggest.h"

#include <algorithm>
#include <cctype>

namespace velnorcli {

namespace {

std::string_view WithoutDashes(std::string_view word) { return word.substr(std::min(word.find_first_not_of('-'), word.size())); }

bool Same(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
    // Three rows of the table: the distances between the prefixes of a and those of b.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = previous[j - 1] + (Same(a[i - 1], b[j - 1]) ? 0 : 1);
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, substitution});
            if (i > 1 && j > 1 && Same(a[i - 1], b[j - 2]) && Same(a[i - 2], b[j - 1])) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        before.swap(previous);
        previous.swap(row);
    }
    return previous[b.size()];
}

std::string Nearest(const std::string& word, const std::vector<std::string>& known) {
    const std::string_view bare = WithoutDashes(word);
    std::string nearest;
    std::size_t best = std::min<std::size_t>(3, bare.size());  // a suggestion must do better than this
    for (const std::string& candidate : known) {
        const std::size_t distance = EditDistance(bare, WithoutDashes(candidate));
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& known) {
    const std::string nearest = Nearest(word, known);
    return nearest.empty() ? "" : "; did you mean " + nearest + "?";
}

}  // namespace velnorcli
