#include "Compare.h"
#include "InputFile.h"
#include "Run.h"
#include "Say.h"

namespace velnorutility {

int CompareFiles(const Run& run, std::ostream& out) {
    const std::unique_ptr<std::istream> first = OpenInputFile(run.line.firstFile);
    const std::unique_ptr<std::istream> second = OpenInputFile(run.line.secondFile);
    if (!first || !second) {
        Say(out, "Unable to open file");
        return 1;
    }
    return CompareBackupFiles(*first, *second, out);
}

}  // namespace velnorutility
