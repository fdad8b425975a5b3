#include "Doctor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "Selection.h"
#include "Text.h"

namespace velnorcli {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::uint32_t Little32(const unsigned char* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool InGroup(const UserFacts& user, gid_t group) {
    return std::find(user.groups.begin(), user.groups.end(), group) != user.groups.end();
}

}  // namespace

std::optional<std::vector<AclEntry>> ParseAcl(std::string_view bytes) {
    if (bytes.size() < 4 || (bytes.size() - 4) % 8 != 0) return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (Little32(data) != 2) return std::nullopt;
    std::vector<AclEntry> entries;
    for (std::size_t at = 4; at < bytes.size(); at += 8) {
        entries.push_back(AclEntry{static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8)),
                                   static_cast<std::uint16_t>(data[at + 2] | (data[at + 3] << 8)), Little32(data + at + 4)});
    }
    return entries;
}

bool IsKeypadUevent(std::string_view uevent) {
    std::istringstream lines{std::string(uevent)};
    for (std::string line; std::getline(lines, line);) {
        if (Lower(line) == "hid_id=0003:00002047:000009bf") return true;
    }
    return false;
}

std::optional<RuleFacts> KeypadRule(const std::string& file, std::string_view text) {
    std::istringstream lines{std::string(text)};
    RuleFacts facts{file};
    bool found = false;
    for (std::string line; std::getline(lines, line);) {
        const std::string lower = Lower(line);
        const std::size_t start = lower.find_first_not_of(" \t");
        if (start == std::string::npos || lower[start] == '#') continue;
        if (lower.find("2047") == std::string::npos || lower.find("09bf") == std::string::npos) continue;
        found = true;
        facts.uaccess = facts.uaccess || lower.find("uaccess") != std::string::npos;
        facts.plugdev = facts.plugdev || lower.find("plugdev") != std::string::npos;
    }
    if (!found) return std::nullopt;
    return facts;
}

bool UserAtSeat(const std::vector<std::string>& sessionFiles, uid_t uid) {
    for (const std::string& session : sessionFiles) {
        bool mine = false;
        bool seat = false;
        std::istringstream lines(session);
        for (std::string line; std::getline(lines, line);) {
            if (line == "UID=" + std::to_string(uid)) mine = true;
            if (line.rfind("SEAT=", 0) == 0 && line.size() > 5) seat = true;
        }
        if (mine && seat) return true;
    }
    return false;
}

NodeFinding JudgeNode(const NodeFacts& node, const UserFacts& user) {
    NodeFinding finding{node.node, node.location, false, {}};
    if (!node.exists) {
        finding.why = "the node is missing from /dev";
        return finding;
    }
    if (node.canOpen) {
        finding.usable = true;
        return finding;
    }
    const std::string owner = node.ownerName.empty() ? std::to_string(node.owner) : node.ownerName;
    const std::string group = node.groupName.empty() ? std::to_string(node.group) : node.groupName;
    std::string why = "owner " + owner + ", group " + group + ", mode " + Octal(node.mode);
    if (node.openError != EACCES && node.openError != EPERM && node.openError != 0) {
        finding.why = why + "; opening it failed: " + ErrnoText(node.openError);
        return finding;
    }
    bool userEntry = false;
    for (const AclEntry& entry : node.acl) userEntry = userEntry || (entry.tag == AclEntry::User && entry.id == user.uid);
    if (node.owner == user.uid) {
        why += ": you own it but the mode does not let you read and write it";
    } else if (InGroup(user, node.group)) {
        why += ": you are in its group but the group may not read and write it";
    } else if (userEntry) {
        why += "; its ACL names you without read and write";
    } else {
        why += node.acl.empty() ? ", no ACL" : ", no ACL entry for you";
        why += ": you (" + (user.name.empty() ? std::to_string(user.uid) : user.name) + ") are neither its owner nor in its group";
    }
    finding.why = why;
    return finding;
}

Diagnosis Diagnose(const DoctorFacts& facts) {
    Diagnosis diagnosis;
    bool denied = false;
    bool usable = false;
    for (const NodeFacts& node : facts.nodes) {
        diagnosis.nodes.push_back(JudgeNode(node, facts.user));
        usable = usable || diagnosis.nodes.back().usable;
        denied = denied || (node.exists && !node.canOpen && (node.openError == EACCES || node.openError == EPERM));
    }
    for (const LibraryKeypad& keypad : facts.keypads) {
        usable = usable || keypad.openResult == 0;
        denied = denied || keypad.openResult == PlixoApi::ACCESS_DENIED;
    }

    if (facts.nodes.empty()) {
        std::string opened;
        for (const LibraryKeypad& keypad : facts.keypads) {
            if (keypad.openResult == 0) opened += (opened.empty() ? "" : ", ") + EscapeControl(keypad.keypad.Path);
        }
        diagnosis.notes.push_back(opened.empty() ? "no hidraw node of the keypad (2047:09bf) in sysfs"
                                                 : "no hidraw node of the keypad in sysfs, yet hidapi opens " + opened +
                                                       " (not a kernel node: a simulated keypad, for one)");
    }
    if (facts.rules.empty()) {
        diagnosis.notes.push_back("no udev rule for the keypad (2047:09bf) is installed");
    }
    for (const RuleFacts& rule : facts.rules) {
        diagnosis.notes.push_back("udev rule for the keypad: " + EscapeControl(rule.file) +
                                  (rule.uaccess ? " (uaccess: the user at the seat)" : "") +
                                  (rule.plugdev ? " (group plugdev)" : ""));
    }
    const bool inPlugdev = facts.user.plugdevExists && InGroup(facts.user, facts.user.plugdev);
    if (facts.user.uid == 0) {
        diagnosis.notes.push_back("you are root: every node is open to you, whatever the rule and your groups");
    } else {
        diagnosis.notes.push_back(facts.user.atSeat ? "you are at a seat: a uaccess rule gives you the keypad"
                                                    : "you are not at a seat (ssh, headless): the plugdev variant of the rule applies");
        if (!facts.user.atSeat) diagnosis.notes.push_back(inPlugdev ? "you are in the group plugdev" : "you are not in the group plugdev");
    }

    if (usable) {
        diagnosis.result = {kDone, "a keypad is attached and usable"};
        return diagnosis;
    }

    // What would let this user open the keypad once it is there: the rule that applies to them
    // and, away from a seat, the group.
    const bool seatRule = std::any_of(facts.rules.begin(), facts.rules.end(), [](const RuleFacts& r) { return r.uaccess; });
    const bool groupRule = std::any_of(facts.rules.begin(), facts.rules.end(), [](const RuleFacts& r) { return r.plugdev; });
    const std::string source = facts.ruleSource.empty() ? "70-velnor-keypad.rules" : facts.ruleSource;
    std::vector<std::string>& commands = diagnosis.commands;
    if (facts.user.uid != 0) {  // root opens every node: no rule or group is missing for it
        if (facts.user.atSeat && !seatRule) {
            commands.push_back("sudo install -m 644 " + source + " /etc/udev/rules.d/70-velnor-keypad.rules");
        } else if (!facts.user.atSeat && !groupRule) {
            commands.push_back("sed -e '/TAG+=\"uaccess\"/s/^/# /' -e '/GROUP=\"plugdev\"/s/^# //' " + source +
                               " | sudo tee /etc/udev/rules.d/70-velnor-keypad.rules");
        }
        if (!facts.user.atSeat && !inPlugdev) {
            commands.push_back("sudo usermod -aG plugdev " + (facts.user.name.empty() ? std::string("$USER") : facts.user.name) +
                               "   # then log in again");
        }
    }

    if (facts.nodes.empty() && facts.keypads.empty()) {
        diagnosis.result = {kNoKeypad, "no keypad is attached: check the cable and the hub, or wait while it restarts"};
        if (!commands.empty()) {
            commands.push_back("sudo udevadm control --reload-rules");
            commands.push_back("# then plug the keypad in");
        }
        return diagnosis;
    }
    if (!denied) {
        commands.clear();  // no permission problem: nothing here for them to fix
        diagnosis.result = {kNoKeypad, "the keypad's node is there but it cannot be opened now; unplug it and plug it in again"};
        return diagnosis;
    }

    commands.push_back("sudo udevadm control --reload-rules && sudo udevadm trigger");
    commands.push_back("# then unplug the keypad and plug it in again");
    std::string nodes;
    for (const NodeFinding& node : diagnosis.nodes) {
        if (!node.usable) nodes += (nodes.empty() ? "" : ", ") + EscapeControl(node.node);
    }
    for (const LibraryKeypad& keypad : facts.keypads) {
        if (keypad.openResult == PlixoApi::ACCESS_DENIED && nodes.find(keypad.keypad.Path) == std::string::npos) {
            nodes += (nodes.empty() ? "" : ", ") + EscapeControl(keypad.keypad.Path);
        }
    }
    diagnosis.result = {kPermission, "permission denied on " + nodes + ": run the commands below"};
    return diagnosis;
}

}  // namespace velnorcli
