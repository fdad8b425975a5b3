// Reads what `velnor doctor` judges: sysfs, /dev, udev rule folders, login sessions, the
// user's groups, and the keypads the library lists (opened, nothing sent).
#ifndef VELNOR_CLI_DOCTORFACTS_H
#define VELNOR_CLI_DOCTORFACTS_H

#include "Doctor.h"

namespace velnorcli {

// ruleSource: where this installation keeps its copy of the udev rule.
DoctorFacts GatherDoctorFacts(const std::string& ruleSource);

}  // namespace velnorcli

#endif
