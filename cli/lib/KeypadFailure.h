// What a library result means for the user: the exit status and a message naming the keypad
// and the step ("reading the status").
#ifndef VELNOR_CLI_KEYPADFAILURE_H
#define VELNOR_CLI_KEYPADFAILURE_H

#include <string>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"

namespace velnorcli {

Failure FailureOf(int code, const KEYPAD_ENTRY& keypad, const std::string& step);

}  // namespace velnorcli

#endif
