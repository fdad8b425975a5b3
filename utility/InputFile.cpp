#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>

namespace velnorutility {

namespace {

bool IsReadable(const struct stat& info) { return S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode); }

// A stream that owns the descriptor it reads.
class DescriptorStream : public std::istream {
public:
    explicit DescriptorStream(int descriptor) : std::istream(nullptr), buffer_(descriptor, std::ios::in) {
        rdbuf(&buffer_);
    }

private:
    __gnu_cxx::stdio_filebuf<char> buffer_;
};

}  // namespace

std::unique_ptr<std::istream> OpenInputFile(const std::string& path) {
    // Looked at before opening, since opening a device can already act (a tape rewinds, a serial
    // line waits for its carrier); looked at again after, on what was really opened.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !IsReadable(info)) return nullptr;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    if (fstat(descriptor, &info) != 0 || !IsReadable(info)) {
        close(descriptor);
        return nullptr;
    }
    return std::make_unique<DescriptorStream>(descriptor);
}

}  // namespace velnorutility
