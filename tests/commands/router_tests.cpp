#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"
#include "debug_capture.h"
#include "recording_host_link.h"

namespace {

std::function<std::string(test_script&)> rn(int d1, int d2, int d3) {
    return [=](test_script& s) {
        vesk_string answer("old");
        s.sendRN(d1, d2, d3, answer);
        return show(answer);
    };
}

// The caller hands the reply back: the host's books balance only if sendRI did not.
std::function<std::string(test_script&)> ri(int d1, int d2, const char* text) {
    return [=](test_script& s) {
        const char* reply = s.sendRI(d1, d2, text);
        std::string shown = show(reply);
        if (reply != nullptr) {
            s.link->callback(const_cast<char*>(reply), VESK_LINK_RELEASE);
        }
        return shown;
    };
}

} // namespace

std::vector<command_row> routerRows() {
    const host_answer null = host_answer::nothing();
    return {
        reads("RN 1 2 3", rn(1, 2, 3), host_answer::with("abc"), "'abc'", "'old'"),
        // Even a null answer is handed back, and `answer` keeps its text.
        reads("RN 1 2 3", rn(1, 2, 3), null, "'old'", "'old'", 1),
        reads("RN -2147483648 2147483647 -2147483648", rn(INT_MIN, INT_MAX, INT_MIN),
              host_answer::with(""), "''", "'old'"),
        reads("RI 1 2 'a b'", ri(1, 2, "a b"), host_answer::with("r"), "'r'", "(null)"),
        reads("RI -2147483648 2147483647 '%1 it's'", ri(INT_MIN, INT_MAX, "%1 it's"), null,
              "(null)", "(null)"),
        sends("RC 3 7 10 ',' 0", [](test_script& s) { s.routerCrosspoint(3, 7, 10, "", false); }),
        sends(
            "RC -2147483648 2147483647 -2147483648 ',%1 it's' 1",
            [](test_script& s) { s.routerCrosspoint(INT_MIN, INT_MAX, INT_MIN, "%1 it's", true); }),
        sends("RR 3 10 12", [](test_script& s) { s.routerRegister(3, 10, 12, false); }),
        sends("RR -2147483648 2147483647 -2147483648 'ADD'",
              [](test_script& s) { s.routerRegister(INT_MIN, INT_MAX, INT_MIN, true); }),
        sends("RU -2147483648", [](test_script& s) { s.sendRU(INT_MIN); }),
        sends("RP 3 10 12", [](test_script& s) { s.routerPoll(3, 10, 12); }),
        sends("RP -2147483648 2147483647 -2147483648",
              [](test_script& s) { s.routerPoll(INT_MIN, INT_MAX, INT_MIN); }),
        sends("RQ 3 10 12", [](test_script& s) { s.sendRQ(3, 10, 12); }),
        sends("RQ 2147483647 -2147483648 2147483647",
              [](test_script& s) { s.sendRQ(INT_MAX, INT_MIN, INT_MAX); }),
        sends("RM 1 2 3 'a b' 1", [](test_script& s) { s.sendRM(1, 2, 3, "a b", true); }),
        sends("RM -2147483648 2147483647 -2147483648 '%2' 0",
              [](test_script& s) { s.sendRM(INT_MIN, INT_MAX, INT_MIN, "%2", false); }),
    };
}

namespace {

TEST(RouterCommands, LinesAndResults) {
    runCommandTable(routerRows());
}

TEST(RouterCommands, RmEchoesItsLineWithOrWithoutLink) {
    debug_capture debug;
    recording_host_link host;
    test_script(&host).sendRM(1, 2, 3, "a b", true);
    test_script(nullptr).sendRM(-1, 0, 7, "a %1", false);
    EXPECT_EQ(debug.writes(),
              (std::vector<std::string>{"RM 1 2 3 'a b' 1\n", "RM -1 0 7 'a %1' 0\n"}));
}

} // namespace
