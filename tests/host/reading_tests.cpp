// The system check and the host read a file with the one INI reader, so they agree about what
// it says: each case is read both ways, the host's way through the private-profile calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "ini_files.h"
#include "system_check.h"
#include "temp_system_tree.h"

using namespace vesk_host;
using namespace std::string_literals;

namespace {

// On Windows the host reads through kernel32, which keeps to the same rules except in the
// cases marked as the stand-in's own: Wine's kernel32, for one, reads a ';' line as a key.
#if defined(_WIN32)
constexpr bool standIn = false;
#else
constexpr bool standIn = true;
#endif

const std::string router = "[Device]\nname=r\n[Database]\nDatabaseSize_0=32\nDatabaseSize_1=4\n"
                           "[Sources]\n1=CAM 1\n[Destinations]\n1=MON 1\n";

std::string checked(const temp_system_tree& tree) {
    std::string all;
    for (const system_finding& f : checkSystem(tree.root() + "/" + tree.system(), "")) {
        all += f.text() + "\n";
    }
    return all;
}

} // namespace

// Where the check and the host used to read a line differently ('#' lines, a byte order mark,
// a key written twice, blanks), both now read it the same, and the check says what the host
// will make of a line its writer may have meant otherwise.
TEST(Reading, CheckAndHostReadAlike) {
    const struct {
        const char* what;
        std::string content; // dev_003.ini
        const char* section;
        const char* key;
        const char* hostReads; // "(none)" when the host finds no such key
        std::string finding;   // empty: the check finds nothing
        bool standInOnly = false;
    } cases[] = {
        {"'#' is no comment: a key", "[Device]\n#name=old\n" + router.substr(9), "Device", "#name",
         "old", "dev_003.ini:2: '#name=old' is read as key '#name' of [Device]: only ';' starts"},
        {"'#' is no comment: a line", router + "# cameras\n", "Destinations", "# cameras", "(none)",
         "dev_003.ini:10: '# cameras' is read as a line of [Destinations]: only ';' starts"},
        {"'#' before any section is never read", "#name=x\n" + router, "Device", "#name", "(none)",
         ""},
        {"';' is a comment", "[Device]\n;name=old\n" + router.substr(9), "Device", ";name",
         "(none)", "", true},
        {"byte order mark", "\xEF\xBB\xBF" + router, "Device", "name", "r", ""},
        {"key twice: the first is read", router + "1=MON 2\n", "Destinations", "1", "MON 1",
         "dev_003.ini:10: key '1' again in [Destinations]: only the first, at line 9, is read"},
        {"crosspoint twice", router + "[Crosspoints]\n1=1\n1=2\n", "crosspoints", "1", "1",
         "dev_003.ini:12: key '1' again in [Crosspoints]: only the first, at line 11"},
        {"blanks of every kind around a value", "[Device]\nname=\v r \f\r\n" + router.substr(16),
         "Device", "name", "r", "", true},
        {"NUL ends its line", "[Device]\nname=r\0junk\n"s + router.substr(16), "Device", "name",
         "r", ""},
        {"' ;' after a value is part of it", "[Device]\nname=r ; main router\n" + router.substr(16),
         "Device", "name", "r ; main router",
         "dev_003.ini:2: the value of 'name' in [Device] is all of 'r ; main router': ';' starts"},
        {"a tab before ';' too", router + "2=MON 2\t;spare\n", "Destinations", "2", "MON 2\t;spare",
         "dev_003.ini:10: the value of '2' in [Destinations] is all of"},
        {"';' inside a word or a quoted value is meant", router + "2=A;B\n3=\"C ; D\"\n",
         "Destinations", "3", "C ; D", ""},
        {"section twice: the first is read", router + "[Device]\nname=s\n", "Device", "name", "r",
         "dev_003.ini:10: [Device] again: only the first, at line 1, is read"},
    };
    for (const auto& c : cases) {
        if (c.standInOnly && !standIn) {
            continue;
        }
        temp_system_tree tree;
        tree.writeFile("dev_003.ini", c.content);
        std::string path = tree.configDir() + "/dev_003.ini";
        EXPECT_EQ(iniValue(path, c.section, c.key, "(none)"), c.hostReads) << c.what;
        std::string all = checked(tree);
        if (c.finding.empty()) {
            EXPECT_EQ(all, "") << c.what;
        } else {
            EXPECT_NE(all.find(c.finding), std::string::npos) << c.what << ":\n" << all;
            EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << c.what << ":\n" << all;
        }
    }
}

// The host reads every key of a section as a lookup of it does: the first of a name.
TEST(Reading, SectionListsEachKeyOnce) {
    temp_system_tree tree;
    tree.writeFile("dev_003.ini", "[Sources]\n1=A\nname\n1=B\nNAME=C\nName=D\n2=\"E\"\n");
    ini_entries entries = iniSection(tree.configDir() + "/dev_003.ini", "Sources");
    ini_entries expected = {{"1", "A"}, {"name", ""}, {"NAME", "C"}, {"2", "E"}};
    EXPECT_EQ(entries, expected);
}

// The host opens dev_NNN.ini, host.ini and configdb.ini by their lower-case names. Where file
// names have case, a file named otherwise is one it never reads, and the check says so; where
// they have none, both read it.
TEST(Reading, FileNamesAsTheHostOpensThem) {
    for (const char* name : {"DEV_004.INI", "Dev_004.ini", "dev_004.INI"}) {
        temp_system_tree tree;
        tree.writeFile(name, router);
        tree.writeFile("host.ini", "[Instances]\nmcr=4 0\n");
        bool hostReads = !iniSections(tree.configDir() + "/dev_004.ini").empty();
        std::string all = checked(tree);
        if (hostReads) {
            EXPECT_EQ(all, "") << name;
        } else {
            EXPECT_NE(all.find(std::string(name) + ": is not read: the host opens dev_004.ini"),
                      std::string::npos)
                << name << ":\n"
                << all;
            EXPECT_NE(all.find("instance mcr names device 4, which has no dev_004.ini"),
                      std::string::npos)
                << name << ":\n"
                << all;
        }
    }
}
