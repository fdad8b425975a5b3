#include <fstream>

#include "Compare.h"
#include "Run.h"
#include "Say.h"

namespace velnorutility {

int CompareFiles(const Run& run, std::ostream& out) {
    std::ifstream first(run.line.firstFile);
    std::ifstream second(run.line.secondFile);
    if (!first || !second) {
        Say(out, "Unable to open file");
        return 1;
    }
    return CompareBackupFiles(first, second, out);
}

}  // namespace velnorutility
