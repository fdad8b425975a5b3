// `velnor doctor`: why a keypad "is not there". The facts (hidraw nodes of the keypad's ids from
// sysfs, who may open each node, udev rules, seat, groups) are read by DoctorFacts.cpp; what they
// mean and what would fix them is decided here, as pure functions.
#ifndef VELNOR_CLI_DOCTOR_H
#define VELNOR_CLI_DOCTOR_H

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"

namespace velnorcli {

// One entry of a POSIX access control list (the system.posix_acl_access attribute).
struct AclEntry {
    enum Tag : std::uint16_t { UserObj = 0x01, User = 0x02, GroupObj = 0x04, Group = 0x08, Mask = 0x10, Other = 0x20 };
    std::uint16_t tag = 0;
    std::uint16_t perm = 0;  // 4 read, 2 write, 1 execute
    std::uint32_t id = 0;    // for User and Group
};

// The attribute's bytes (version 2, then 8 bytes per entry); none for anything else.
std::optional<std::vector<AclEntry>> ParseAcl(std::string_view bytes);

// True for the uevent text of a hidraw node's HID device with the keypad's ids
// (HID_ID=0003:00002047:000009BF, any case).
bool IsKeypadUevent(std::string_view uevent);

// True when a rules file holds an active (not commented) line for the keypad's ids; `uaccess` and
// `plugdev` say which way it grants access.
struct RuleFacts {
    std::string file;
    bool uaccess = false;
    bool plugdev = false;
};
std::optional<RuleFacts> KeypadRule(const std::string& file, std::string_view text);

struct NodeFacts {
    std::string node;      // /dev/hidrawN
    std::string location;  // USB port chain, empty where unknown
    bool exists = false;   // the /dev node is there
    uid_t owner = 0;
    gid_t group = 0;
    std::string ownerName;
    std::string groupName;
    mode_t mode = 0;
    std::vector<AclEntry> acl;
    bool canOpen = false;  // open for reading and writing worked
    int openError = 0;     // errno of the open otherwise
};

struct UserFacts {
    uid_t uid = 0;
    std::string name;
    std::vector<gid_t> groups;  // primary and supplementary
    bool atSeat = false;        // a session of this user on a seat: uaccess applies
    bool plugdevExists = false;
    gid_t plugdev = 0;
};

// A keypad as the library lists it, and whether it could be opened.
struct LibraryKeypad {
    KEYPAD_ENTRY keypad;
    int openResult = 0;  // OpenKeypad's result
};

struct DoctorFacts {
    std::vector<NodeFacts> nodes;
    std::vector<RuleFacts> rules;
    UserFacts user;
    std::vector<LibraryKeypad> keypads;
    std::string ruleSource;  // where this installation keeps the rule, for the commands
};

struct NodeFinding {
    std::string node;
    std::string location;
    bool usable = false;
    std::string why;  // why not, in words: owner, mode, ACL
};

struct Diagnosis {
    std::vector<NodeFinding> nodes;
    std::vector<std::string> notes;     // what else was found
    std::vector<std::string> commands;  // what would fix it, in order
    Failure result;                     // status 0 when a keypad is attached and usable
};

// Whether the user may read and write the node, by owner, group, mode and ACL, and why not.
NodeFinding JudgeNode(const NodeFacts& node, const UserFacts& user);

Diagnosis Diagnose(const DoctorFacts& facts);

// Seat sessions: true when one of the session files (/run/systemd/sessions/*) is the user's and
// names a seat.
bool UserAtSeat(const std::vector<std::string>& sessionFiles, uid_t uid);

}  // namespace velnorcli

#endif
