#include <gtest/gtest.h>

#include <climits>

#include "command_rows.h"

namespace {

using script = test_script;

TEST(Commands, TimersAndEvents) {
    runCommandTable({
        sends("timer", [](script& s) { s.timerStart(3, -500); }, {"ET 3 -500"}),
        sends("zero interval stops", [](script& s) { s.timerStart(3, 0); }, {"ET 3"}),
        sends("timer extremes", [](script& s) { s.timerStart(INT_MIN, INT_MAX); },
              {"ET -2147483648 2147483647"}),
        // An answer to a line nobody reads is neither read nor handed back.
        sends(
            "stop", [](script& s) { s.timerStop(INT_MIN); }, {"ET -2147483648"},
            host_answer::ack()),
        sends("numbers ES", [](script& s) { s.sendES(INT_MIN, 9); }, {"ES -2147483648 9"}),
        sends("text ES, bare", [](script& s) { s.sendES("%1 'q' %2"); }, {"ES %1 'q' %2"}),
        sends("empty text ES", [](script& s) { s.sendES(""); }, {"ES "}),
        sends("EG longest line", [](script& s) { s.sendEG(INT_MIN, INT_MIN, INT_MIN, INT_MIN); },
              {"EG -2147483648 -2147483648 -2147483648 -2147483648"}),
        sends("EG", [](script& s) { s.sendEG(INT_MAX, 0, 3, -4); }, {"EG 2147483647 0 3 -4"}),
        sends("EC", [](script& s) { s.sendEC(true, "%2 x", "%1"); }, {"EC 1 '%2 x' '%1'"}),
        sends("EC false", [](script& s) { s.sendEC(false, "", "b"); }, {"EC 0 '' 'b'"}),
    });
}

} // namespace
