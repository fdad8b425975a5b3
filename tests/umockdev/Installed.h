// What the umockdev tests share: the installed programs run on the installed library, and the
// keypads they emulate.
#ifndef VELNOR_TESTS_INSTALLED_H
#define VELNOR_TESTS_INSTALLED_H

#include "EmulatedKeypad.h"
#include "support/Run.h"

namespace velnortest {

// Runs in the examples folder on the installed library, whatever this process was given; as
// another user (and group of that number) when user is not 0.
inline Running Installed(const std::vector<std::string>& words, uid_t user = 0) {
    Launch launch(VELNOR_EXAMPLES_DIR);
    launch.environment = {"LD_LIBRARY_PATH"};
    launch.user = user;
    return Running(words, launch);
}

inline KeypadOptions Keypad(const std::string& firmware, const std::string& port = "1-1",
                            std::optional<std::wstring> usbSerial = std::nullopt, const std::string& serial = "00000000") {
    KeypadOptions options;
    options.location = port;
    options.serialNumber = std::move(usbSerial);
    options.settings.firmwareName = firmware;
    options.settings.serialNumber = serial;
    return options;
}

}  // namespace velnortest

#endif
