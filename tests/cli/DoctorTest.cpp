// What velnor doctor makes of the facts it reads.
#include <gtest/gtest.h>

#include "Doctor.h"

namespace velnorcli {
namespace {

std::string AclBytes(const std::vector<AclEntry>& entries) {
    std::string bytes{'\x02', '\0', '\0', '\0'};
    for (const AclEntry& e : entries) {
        const unsigned char entry[8] = {static_cast<unsigned char>(e.tag), static_cast<unsigned char>(e.tag >> 8),
                                        static_cast<unsigned char>(e.perm), 0,
                                        static_cast<unsigned char>(e.id), static_cast<unsigned char>(e.id >> 8), 0, 0};
        bytes.append(reinterpret_cast<const char*>(entry), 8);
    }
    return bytes;
}

TEST(Doctor, ReadsAclsUeventsRulesAndSeats) {
    const auto acl = ParseAcl(AclBytes({{AclEntry::UserObj, 6, 0}, {AclEntry::User, 6, 1000}, {AclEntry::Other, 0, 0}}));
    ASSERT_TRUE(acl);
    ASSERT_EQ(acl->size(), 3u);
    EXPECT_EQ((*acl)[1].tag, AclEntry::User);
    EXPECT_EQ((*acl)[1].id, 1000u);
    EXPECT_FALSE(ParseAcl(std::string("\x01\0\0\0", 4)));
    EXPECT_FALSE(ParseAcl(AclBytes({}) + "xyz"));

    EXPECT_TRUE(IsKeypadUevent("DRIVER=hid-generic\nHID_ID=0003:00002047:000009BF\nHID_NAME=Velnor\n"));
    EXPECT_TRUE(IsKeypadUevent("HID_ID=0003:00002047:000009bf"));
    EXPECT_FALSE(IsKeypadUevent("HID_ID=0003:00002047:000009C0\n"));

    const auto seat = KeypadRule("a.rules", "# x\nSUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2047\", ATTRS{idProduct}==\"09bf\", TAG+=\"uaccess\"\n"
                                            "# SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2047\", ATTRS{idProduct}==\"09bf\", GROUP=\"plugdev\"\n");
    ASSERT_TRUE(seat);
    EXPECT_TRUE(seat->uaccess);
    EXPECT_FALSE(seat->plugdev);
    EXPECT_FALSE(KeypadRule("b.rules", "#  ATTRS{idVendor}==\"2047\", ATTRS{idProduct}==\"09bf\"\n"));

    EXPECT_TRUE(UserAtSeat({"UID=0\nSEAT=seat0\n", "UID=1000\nSEAT=seat0\nACTIVE=1\n"}, 1000));
    EXPECT_FALSE(UserAtSeat({"UID=1000\nSERVICE=sshd\n", "UID=10000\nSEAT=seat0\n"}, 1000));
}

TEST(Doctor, SaysWhyANodeCannotBeOpenedAndWhatFixesIt) {
    NodeFacts node{"/dev/hidraw0", "1-2", true, 0, 0, "root", "root", 0020600, {}, false, EACCES};
    UserFacts ssh{1000, "tech", {1000}, false, true, 46};
    UserFacts seated = ssh;
    seated.atSeat = true;
    UserFacts root = ssh;
    root.uid = 0;
    root.name = "root";
    const RuleFacts seatRule{"/usr/lib/udev/rules.d/70-velnor-keypad.rules", true, false};
    NodeFacts usable = node;
    usable.canOpen = true;
    usable.openError = 0;

    const struct {
        const char* what;
        DoctorFacts facts;
        int status;
        std::vector<std::string> commands;  // their first words each
        const char* notesHold = "";         // in the notes
        const char* notesLack = "\x01";     // nowhere in them
    } kCases[] = {
        // Nothing attached: what would stop this user once it is, fixed beforehand.
        {"nothing attached, at a seat, the rule there", {{}, {seatRule}, seated, {}, "R"}, kNoKeypad, {}},
        {"nothing attached, over ssh", {{}, {seatRule}, ssh, {}, "R"}, kNoKeypad, {"sed -e", "sudo usermod", "sudo udevadm", "# then plug"}},
        {"nothing attached, root", {{}, {}, root, {}, "R"}, kNoKeypad, {}, "you are root", "plugdev"},
        {"usable", {{usable}, {}, ssh, {}, "R"}, kDone, {}, "", "in sysfs"},
        {"no node in sysfs, yet hidapi opens it (the simulator)", {{}, {}, ssh, {{{"sim/dev/hidraw0", "", "", "", ""}, 0}}, "R"},
         kDone, {}, "in sysfs, yet hidapi opens sim/dev/hidraw0"},
        {"at a seat, no rule", {{node}, {}, seated, {}, "R"}, kPermission, {"sudo install", "sudo udevadm", "# then"}},
        {"at a seat, the rule there", {{node}, {seatRule}, seated, {}, "R"}, kPermission, {"sudo udevadm", "# then"}},
        {"over ssh, the seat rule", {{node}, {seatRule}, ssh, {}, "R"}, kPermission, {"sed -e", "sudo usermod", "sudo udevadm", "# then"}},
        {"the library is refused", {{}, {}, seated, {{{"/dev/hidraw5", "", "", "", ""}, PlixoApi::ACCESS_DENIED}}, "R"}, kPermission,
         {"sudo install", "sudo udevadm", "# then"}},
    };
    for (const auto& c : kCases) {
        const Diagnosis diagnosis = Diagnose(c.facts);
        EXPECT_EQ(diagnosis.result.status, c.status) << c.what << ": " << diagnosis.result.message;
        std::string notes;
        for (const std::string& note : diagnosis.notes) notes += note + "\n";
        EXPECT_NE(notes.find(c.notesHold), std::string::npos) << c.what << ": " << notes;
        EXPECT_EQ(notes.find(c.notesLack), std::string::npos) << c.what << ": " << notes;
        ASSERT_EQ(diagnosis.commands.size(), c.commands.size()) << c.what;
        for (std::size_t i = 0; i < c.commands.size(); ++i) {
            EXPECT_EQ(diagnosis.commands[i].rfind(c.commands[i], 0), 0u) << c.what << ": " << diagnosis.commands[i];
        }
    }
    EXPECT_EQ(JudgeNode(node, ssh).why,
              "owner root, group root, mode 0600, no ACL: you (tech) are neither its owner nor in its group");
    node.acl = {{AclEntry::User, 0, 1000}};
    EXPECT_EQ(JudgeNode(node, ssh).why, "owner root, group root, mode 0600; its ACL names you without read and write");
}

}  // namespace
}  // namespace velnorcli
