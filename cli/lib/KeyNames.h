// Names of key codes from the HID usage table of usb.ids (its "HUT 07  Keyboard" section), as
// Debian's usb.ids package installs it. Without the file codes are shown in hexadecimal only.
#ifndef VELNOR_CLI_KEYNAMES_H
#define VELNOR_CLI_KEYNAMES_H

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace velnorcli {

inline constexpr const char* kUsbIdsPath = "/usr/share/misc/usb.ids";

class KeyNames {
public:
    // The names of the keyboard usage page, read from a usb.ids text; lines of other sections and
    // lines that are not "<TAB>hhh  name" are passed over. Reading stops after the section.
    static KeyNames Read(std::istream& in);
    // From the file; empty when it cannot be read.
    static KeyNames ReadFile(const std::string& path = kUsbIdsPath);

    // The name as shown: "1 and !" for "1 and ! (One and Exclamation)", where the words in
    // brackets only spell out the two symbols; empty when the code has no name.
    std::string_view Name(std::uint8_t code) const { return names_[code]; }
    bool Empty() const;

    // The codes of the keys named `name` as typed or as shown (its control characters and
    // backslashes escaped), compared without regard to ASCII case: none, one, or
    // several where usb.ids gives one name to several keys ("\ and |").
    std::vector<std::uint8_t> CodesNamed(std::string_view name) const;
    // The codes of up to `most` names that begin with `text` or hold it (without regard to ASCII
    // case), those that begin with it first: the suggestions for a name not found.
    std::vector<std::uint8_t> Resembling(std::string_view text, std::size_t most) const;

private:
    std::array<std::string, 256> names_;
};

// One section line "<TAB>hhh  name": the code and the name as shown; false for any other line.
bool ParseUsageLine(std::string_view line, unsigned& code, std::string& name);

}  // namespace velnorcli

#endif
