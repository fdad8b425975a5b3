#include "DoctorFacts.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Attached.h"
#include "Keypad.h"

namespace velnorcli {

namespace {

namespace fs = std::filesystem;

// Small system files only: a bounded read.
std::string ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(64 * 1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

NodeFacts ReadNode(const fs::path& hidraw) {
    NodeFacts node;
    node.node = "/dev/" + hidraw.filename().string();
    struct stat facts {};
    node.exists = stat(node.node.c_str(), &facts) == 0;
    if (!node.exists) return node;
    node.owner = facts.st_uid;
    node.group = facts.st_gid;
    node.mode = facts.st_mode;
    if (const passwd* owner = getpwuid(facts.st_uid)) node.ownerName = owner->pw_name;
    if (const group* group = getgrgid(facts.st_gid)) node.groupName = group->gr_name;
    char acl[1024];
    const ssize_t size = getxattr(node.node.c_str(), "system.posix_acl_access", acl, sizeof acl);
    if (size > 0) {
        if (auto entries = ParseAcl(std::string_view(acl, static_cast<std::size_t>(size)))) node.acl = *entries;
    }
    const int fd = open(node.node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    node.canOpen = fd >= 0;
    node.openError = fd >= 0 ? 0 : errno;
    if (fd >= 0) close(fd);
    return node;
}

UserFacts ReadUser() {
    UserFacts user;
    user.uid = geteuid();  // whose rights an open has
    if (const passwd* entry = getpwuid(user.uid)) user.name = entry->pw_name;
    user.groups.push_back(getegid());
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        const int got = getgroups(count, groups.data());
        if (got > 0) user.groups.insert(user.groups.end(), groups.begin(), groups.begin() + got);
    }
    if (const group* plugdev = getgrnam("plugdev")) {
        user.plugdevExists = true;
        user.plugdev = plugdev->gr_gid;
    }
    std::vector<std::string> sessions;
    for (const fs::path& session : Entries("/run/systemd/sessions")) {
        if (session.extension() != ".ref") sessions.push_back(ReadSmallFile(session));
    }
    user.atSeat = UserAtSeat(sessions, user.uid);
    return user;
}

}  // namespace

std::string InstalledRule(const std::string& rulesDir) {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path rule = program.parent_path().parent_path() / rulesDir / "70-velnor-keypad.rules";
    return fs::exists(rule, error) ? rule.string() : std::string();
}

DoctorFacts GatherDoctorFacts(const std::string& ruleSource) {
    DoctorFacts facts;
    facts.ruleSource = ruleSource;
    std::set<std::string> seen;  // /lib is /usr/lib on merged systems
    for (const fs::path& hidraw : Entries("/sys/class/hidraw")) {
        if (IsKeypadUevent(ReadSmallFile(hidraw / "device" / "uevent"))) facts.nodes.push_back(ReadNode(hidraw));
    }
    for (const char* folder : {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d",
                               "/usr/local/lib/udev/rules.d"}) {
        for (const fs::path& file : Entries(folder)) {
            std::error_code error;
            if (file.extension() != ".rules" || !seen.insert(fs::canonical(file, error).string()).second) continue;
            if (auto rule = KeypadRule(file.string(), ReadSmallFile(file))) facts.rules.push_back(*rule);
        }
    }
    facts.user = ReadUser();
    const auto attached = ListAttached();
    const std::vector<KEYPAD_ENTRY> keypads = attached ? *attached : std::vector<KEYPAD_ENTRY>{};
    if (attached) {
        std::vector<LibraryKeypad> opened(keypads.size());
        InParallel(keypads.size(), [&](std::size_t i) {
            opened[i].keypad = keypads[i];
            PlixoApi api(keypads[i]);
            opened[i].openResult = api.OpenKeypad(1000);
        });
        facts.keypads = std::move(opened);
    }
    // Where each node's keypad is plugged in, as the library reads it.
    for (NodeFacts& node : facts.nodes) {
        for (const KEYPAD_ENTRY& keypad : keypads) {
            if (keypad.Path == node.node) node.location = keypad.Location;
        }
    }
    return facts;
}

}  // namespace velnorcli
