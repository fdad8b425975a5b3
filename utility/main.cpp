// VelnorUtility: restores a keypad's settings from a backup file (-b FILE), sets its number of
// keys and serial number (-k 5|6|8 [-n SERIAL]), or compares two backup files (-c OLD NEW).
#include <iostream>

#include "CommandLine.h"
#include "Run.h"
#include "Say.h"

int main(int argc, char** argv) {
    using namespace velnorutility;
    // Reachable until the process has ended: the keypad object of a run that got past the
    // connection stays alive, with its worker, until then.
    static Run run;
    try {
        const int counted = ParseCommandLine(argc, argv, run.line, std::cout);
        if (!run.line.refusal.empty()) {
            Say(std::cout, run.line.refusal);
            return 1;
        }
        if (counted < 1) return 1;
        if (run.line.restore) return RestoreFromBackup(run, std::cout);
        if (run.line.compare) return CompareFiles(run, std::cout);
        return ProgramKeyCount(run, std::cout);
    } catch (const std::exception& failure) {
        std::cerr << "VelnorUtility: " << failure.what() << '\n';
        return 1;
    }
}
