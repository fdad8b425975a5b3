// Reads what `velnor doctor` judges: sysfs, /dev, udev rule folders, login sessions, the
// user's groups, and the keypads the library lists (opened, nothing sent).
#ifndef VELNOR_CLI_DOCTORFACTS_H
#define VELNOR_CLI_DOCTORFACTS_H

#include <string>

#include "Doctor.h"

namespace velnorcli {

// Where this installation keeps its copy of the udev rule: below the program's prefix, in
// `rulesDir` (relative to it); empty when it is not there.
std::string InstalledRule(const std::string& rulesDir);

// ruleSource: where this installation keeps its copy of the udev rule.
DoctorFacts GatherDoctorFacts(const std::string& ruleSource);

}  // namespace velnorcli

#endif
