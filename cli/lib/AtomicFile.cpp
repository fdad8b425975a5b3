#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "Text.h"
#include "WriteAll.h"

namespace velnorcli {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Failure Cannot(const std::string& path, const std::string& what, int error) {
    return {kFileProblem, "cannot write " + EscapeControl(path) + ": " + what + ErrnoText(error)};
}

}  // namespace

Done RefuseExisting(const std::string& path, bool replace) {
    struct stat facts {};
    if (lstat(path.c_str(), &facts) != 0) return {};
    if (!replace) return Failure{kFileProblem, EscapeControl(path) + " exists", "use --force to replace it"};
    // A symbolic link is judged by what it names: a rename would replace the link, and a link
    // to /dev/stdout or a device is not a backup file either. One that names nothing is replaced.
    if (S_ISLNK(facts.st_mode) && stat(path.c_str(), &facts) != 0) return {};
    if (!S_ISREG(facts.st_mode)) {
        return Failure{kFileProblem, "cannot write " + EscapeControl(path) + ": not a regular file; --force replaces only a regular file"};
    }
    return {};
}

Done WriteFileAtomically(const std::string& path, const std::string& content, bool replace) {
    const std::string folder = FolderOf(path);
    std::string pattern = folder + "/.velnor-backup-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return Cannot(path, "cannot create a file in " + EscapeControl(folder) + ": ", errno);
    const std::string temporary(name.data());
    const mode_t mask = umask(0);
    umask(mask);
    std::optional<Failure> failure;
    if (fchmod(fd, 0666 & ~mask) != 0 || !WriteAll(fd, content) || fsync(fd) != 0) failure = Cannot(path, "", errno);
    if (close(fd) != 0 && !failure) failure = Cannot(path, "", errno);
    if (!failure) {
        if (replace) {
            // Checked again just before: the name may have changed while the file was written.
            if (const Done checked = RefuseExisting(path, true); !checked) failure = checked.failure();
            if (!failure && rename(temporary.c_str(), path.c_str()) != 0) failure = Cannot(path, "", errno);
        } else if (link(temporary.c_str(), path.c_str()) != 0) {
            // link refuses an existing name: no check-then-write race.
            const int error = errno;
            const Done refused = error == EEXIST ? RefuseExisting(path, false) : Done();
            failure = !refused ? refused.failure() : Cannot(path, "", error);
        }
    }
    unlink(temporary.c_str());  // after rename it names nothing
    if (failure) return *failure;
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);  // the new name itself survives a crash
        close(folderFd);
    }
    return {};
}

}  // namespace velnorcli
