#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"

namespace {} // namespace

std::vector<command_row> gFamilyRows() {
    return {
        sends("GR 30 1 16", [](test_script& s) { s.sendGR(30, 1, 16, false); }),
        sends("GR -2147483648 2147483647 -2147483648 'ADD'",
              [](test_script& s) { s.sendGR(INT_MIN, INT_MAX, INT_MIN, true); }),
        sends("GU -2147483648", [](test_script& s) { s.sendGU(INT_MIN); }),
        sends("GP 30 1 16", [](test_script& s) { s.sendGP(30, 1, 16); }),
        sends("GP -2147483648 2147483647 -2147483648",
              [](test_script& s) { s.sendGP(INT_MIN, INT_MAX, INT_MIN); }),
        sends("GQ 30 1 16", [](test_script& s) { s.sendGQ(30, 1, 16); }),
        sends("GQ 2147483647 -2147483648 2147483647",
              [](test_script& s) { s.sendGQ(INT_MAX, INT_MIN, INT_MAX); }),
        // The index goes before the state.
        sends("GS 30 5 1 0", [](test_script& s) { s.sendGS(30, true, 5, false); }),
        sends("GS -2147483648 2147483647 0 1",
              [](test_script& s) { s.sendGS(INT_MIN, false, INT_MAX, true); }),
        sends("GS 2147483647 -2147483648 1 1",
              [](test_script& s) { s.sendGS(INT_MAX, true, INT_MIN, true); }),
    };
}

namespace {

TEST(GFamilyCommands, Lines) {
    runCommandTable(gFamilyRows());
}

} // namespace
