#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"

namespace {

// sendCP's two parts, starting from text they must replace.
std::string parts(test_script& s) {
    vesk_string first("old");
    vesk_string second("old");
    s.sendCP("1", "b1", first, second);
    return show(first) + " " + show(second);
}

} // namespace

std::vector<command_row> controlRows() {
    return {
        sends("CE '1' 'b1'", [](test_script& s) { s.sendCE("1", "b1"); }),
        sends("CD '%2' '%1'", [](test_script& s) { s.sendCD("%2", "%1"); }),
        sends("CS '' 'it's'", [](test_script& s) { s.sendCS("", "it's"); }),
        sends("CH 'a b' ' '", [](test_script& s) { s.sendCH("a b", " "); }),
        sends("CM '1' 'b1' 10 20", [](test_script& s) { s.sendCM("1", "b1", 10, 20); }),
        sends("CM '%1' '' -2147483648 2147483647",
              [](test_script& s) { s.sendCM("%1", "", INT_MIN, INT_MAX); }),
        reads("CP '1' 'b1'", parts, host_answer::with("12.34"), "'12' '34'", "'' ''"),
        reads("CP '1' 'b1'", parts, host_answer::with("12"), "'12' ''", "'' ''"),
        reads("CP '1' 'b1'", parts, host_answer::nothing(), "'' ''", "'' ''"),
        reads(
            "CC '1' 'b1' 't' 1 2 3 4 'e'",
            [](test_script& s) { return show(s.sendCC("1", "b1", "t", 1, 2, 3, 4, "e")); },
            host_answer::with("a=b.c %1"), "'a=b.c %1'", "''"),
        reads(
            "CC '%8' 'a b' 'it's' -2147483648 2147483647 2147483647 -2147483648 '%1'",
            [](test_script& s) {
                return show(
                    s.sendCC("%8", "a b", "it's", INT_MIN, INT_MAX, INT_MAX, INT_MIN, "%1"));
            },
            host_answer::nothing(), "''", "''"),
        tested("CX '1' 'b1'", true, "", [](test_script& s) { return s.sendCX("1", "b1"); }),
        tested("CX '%2' '%1 x'", false, "", [](test_script& s) { return s.sendCX("%2", "%1 x"); }),
    };
}

namespace {

TEST(ControlCommands, LinesAndResults) {
    runCommandTable(controlRows());
}

} // namespace
