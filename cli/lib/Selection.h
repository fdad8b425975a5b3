// Which attached keypads a command means: by path, USB serial string, USB location or the
// keypad's own serial number; without a selection the one keypad attached; with --all every one.
#ifndef VELNOR_CLI_SELECTION_H
#define VELNOR_CLI_SELECTION_H

#include <optional>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"
#include "Result.h"

namespace velnorcli {

enum class SelectBy { None, Path, UsbSerial, Location, Serial };

struct Selector {
    SelectBy by = SelectBy::None;
    std::string value;
    bool all = false;
};

// The option that gives such a selection, as the messages name it ("--usb-serial").
std::string OptionOf(SelectBy by);

// What is known of one attached keypad's own serial number, for selection by --serial: its text
// as the status reports it, or why its status could not be read.
struct SerialReading {
    std::optional<std::string> serial;
    Failure failure;
};

// The next step where no keypad can be found or used.
inline constexpr const char* kFindOutWhy = "run 'velnor doctor' to find out why";

// `serials` is used only for SelectBy::Serial and then holds one reading per attached keypad.
// Serial numbers match with their trailing blanks ignored.
// The chosen keypads are indexes into the list, in list order.
Result<std::vector<std::size_t>> Choose(const std::vector<KEYPAD_ENTRY>& attached, const Selector& selector,
              const std::vector<SerialReading>& serials = {});

// One line per keypad for a message that lists them ("  /dev/hidraw3  location 1-2.3  ...").
std::string KeypadLines(const std::vector<KEYPAD_ENTRY>& keypads, const std::vector<std::size_t>& which);
// How a keypad is named in messages: its location when known, else its path.
std::string KeypadName(const KEYPAD_ENTRY& keypad);
// How the record of serials names a keypad, as the library tells one keypad from another: its
// USB serial string, else its location, else its path.
std::string KeypadIdentityName(const KEYPAD_ENTRY& keypad);

// The keypads in port order: by location, then path (numbers within them compared as numbers,
// so that 1-2.10 comes after 1-2.9); keypads without a location after those with one. Indexes
// into `keypads`.
std::vector<std::size_t> PortOrder(const std::vector<KEYPAD_ENTRY>& keypads);

}  // namespace velnorcli

#endif
