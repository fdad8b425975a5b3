#include "WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace velnorcli {

bool WriteAll(int fd, std::string_view text, Writes writes) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        if (writes == Writes::One && static_cast<std::size_t>(written) != text.size()) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace velnorcli
