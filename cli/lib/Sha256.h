// The SHA-256 of some bytes as 64 lower-case hexadecimal digits (nettle's implementation): the
// station's log names the backup file a keypad was restored from by it.
#ifndef VELNOR_CLI_SHA256_H
#define VELNOR_CLI_SHA256_H

#include <string>
#include <string_view>

namespace velnorcli {

std::string Sha256Hex(std::string_view bytes);

}  // namespace velnorcli

#endif
