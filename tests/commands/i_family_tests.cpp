#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"
#include "debug_capture.h"
#include "recording_host_link.h"

namespace {} // namespace

std::vector<command_row> iFamilyRows() {
    return {
        sends("IR 20 1 50", [](test_script& s) { s.sendIR(20, 1, 50, false); }),
        sends("IR -2147483648 2147483647 -2147483648 'ADD'",
              [](test_script& s) { s.sendIR(INT_MIN, INT_MAX, INT_MIN, true); }),
        sends("IU -2147483648", [](test_script& s) { s.sendIU(INT_MIN); }),
        sends("IP 20 1 50", [](test_script& s) { s.sendIP(20, 1, 50); }),
        sends("IP -2147483648 2147483647 -2147483648",
              [](test_script& s) { s.sendIP(INT_MIN, INT_MAX, INT_MIN); }),
        sends("IQ 20 1 50", [](test_script& s) { s.sendIQ(20, 1, 50); }),
        sends("IQ 2147483647 -2147483648 2147483647",
              [](test_script& s) { s.sendIQ(INT_MAX, INT_MIN, INT_MAX); }),
        sends("IW 20 'hello world' 7 1",
              [](test_script& s) { s.sendIW(20, "hello world", 7, true); }),
        sends("IW -2147483648 '' 2147483647 0",
              [](test_script& s) { s.sendIW(INT_MIN, "", INT_MAX, false); }),
        sends("IW 2147483647 '%1 it's %2' -2147483648 1",
              [](test_script& s) { s.sendIW(INT_MAX, "%1 it's %2", INT_MIN, true); }),
    };
}

namespace {

TEST(IFamilyCommands, Lines) {
    runCommandTable(iFamilyRows());
}

TEST(IFamilyCommands, IwWarnsAboveTwoHundredFiftySixCharactersButSendsAll) {
    const std::string warning = "The IW string is too long (max 256 chars)\n";
    const std::string longest(256, 'w');
    const std::string tooLong(257, 'w');
    debug_capture debug;
    recording_host_link host;
    test_script script(&host);

    script.sendIW(1, longest.c_str(), 2, false);
    EXPECT_TRUE(debug.writes().empty());
    script.sendIW(1, tooLong.c_str(), 2, false);
    test_script(nullptr).sendIW(1, tooLong.c_str(), 2, false);
    EXPECT_EQ(debug.writes(), (std::vector<std::string>{warning, warning}));
    EXPECT_EQ(host.lines(), (std::vector<std::string>{"IW 1 '" + longest + "' 2 0",
                                                      "IW 1 '" + tooLong + "' 2 0"}));
}

} // namespace
