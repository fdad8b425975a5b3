#include "KeypadFailure.h"

#include "Selection.h"
#include "Text.h"

namespace velnorcli {

Failure FailureOf(int code, const KEYPAD_ENTRY& keypad, const std::string& step) {
    const std::string name = "keypad " + KeypadName(keypad);
    switch (code) {
    case PlixoApi::NOT_CONNECTED:
        return {kNoKeypad, name + " is not there any more (" + step + ")"};
    case PlixoApi::ACCESS_DENIED:
        return {kPermission, "permission denied on " + EscapeControl(keypad.Path) + " (" + name + ")",
                "install the udev rule or join the group it names; run 'velnor doctor' to see how"};
    case PlixoApi::TIMEOUT:
        return {kNoAnswer, name + " did not answer (" + step + ")"};
    case PlixoApi::CONNECTION_LOST:
        return {kNoAnswer, name + " was lost (" + step + ")"};
    case PlixoApi::WRITE_FAILED:
        return {kNoAnswer, name + " could not be written to, and was lost (" + step + ")"};
    case PlixoApi::REFUSED:
        return {kNoAnswer, name + " refused the command (" + step + ")"};
    case PlixoApi::INVALID_REPLY:
        return {kNoAnswer, name + " gave a reply that cannot be read (" + step + ")"};
    default:
        return {kNoAnswer, name + ": " + step + " failed with code " + std::to_string(code)};
    }
}

}  // namespace velnorcli
