#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"

namespace {

using script = test_script;

} // namespace

std::vector<command_row> timerEventRows() {
    return {
        sends("ET 3 -500", [](script& s) { s.timerStart(3, -500); }),
        // A zero interval gives the stop line.
        sends("ET 3", [](script& s) { s.timerStart(3, 0); }),
        sends("ET -2147483648 2147483647", [](script& s) { s.timerStart(INT_MIN, INT_MAX); }),
        sends("ET -2147483648", [](script& s) { s.timerStop(INT_MIN); }),
        sends("ES -2147483648 9", [](script& s) { s.sendES(INT_MIN, 9); }),
        // The text form is bare: no quotes are added.
        sends("ES %1 'q' %2", [](script& s) { s.sendES("%1 'q' %2"); }),
        sends("ES ", [](script& s) { s.sendES(""); }),
        sends("EG -2147483648 -2147483648 -2147483648 -2147483648",
              [](script& s) { s.sendEG(INT_MIN, INT_MIN, INT_MIN, INT_MIN); }),
        sends("EG 2147483647 0 3 -4", [](script& s) { s.sendEG(INT_MAX, 0, 3, -4); }),
        sends("EC 1 '%2 x' '%1'", [](script& s) { s.sendEC(true, "%2 x", "%1"); }),
        sends("EC 0 '' 'b'", [](script& s) { s.sendEC(false, "", "b"); }),
    };
}

namespace {

TEST(TimerEventCommands, Lines) {
    runCommandTable(timerEventRows());
}

} // namespace
