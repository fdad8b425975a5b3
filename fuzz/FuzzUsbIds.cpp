// The usb.ids reader on arbitrary text. Invariant: every name it gives is one line with no
// control character left in it, whatever the file holds.
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzInput.h"
#include "KeyNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const velnorcli::KeyNames names = velnorcli::KeyNames::Read(in);
    for (int code = 0; code < 256; ++code) {
        for (char c : names.Name(static_cast<std::uint8_t>(code))) {
            Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        }
    }
    return 0;
}
