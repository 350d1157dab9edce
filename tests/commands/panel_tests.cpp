#include <gtest/gtest.h>

#include <climits>

#include "command_families.h"
#include "command_rows.h"

namespace {} // namespace

std::vector<command_row> panelRows() {
    return {
        tested("PS '1' 'main'", true, "",
               [](test_script& s) { return s.panelShow("1", "main", ""); }),
        tested("PS '1' 'panels/main'", false, "panels",
               [](test_script& s) { return s.panelShow("1", "main", ""); }),
        tested("PS '1' 'panels/main' 'x'", true, "panels",
               [](test_script& s) { return s.panelShow("1", "main", "x"); }),
        tested("PI '1' 'main' ' '", false, "",
               [](test_script& s) { return s.sendPI("1", "main", " "); }),
        tested("PI '%2' 'a b/%1' 'it's'", true, "a b",
               [](test_script& s) { return s.sendPI("%2", "%1", "it's"); }),
        tested("PT '' ''", true, "", [](test_script& s) { return s.sendPT("", ""); }),
        // Unlike "PS", "PP" joins the start-up text to any name, even an empty start-up text.
        tested("PP '1' 'panels/pop' 10 20 't'", true, "panels",
               [](test_script& s) { return s.sendPP("1", "pop", 10, 20, "t"); }),
        tested("PP '1' '/pop' 10 20 't'", false, "",
               [](test_script& s) { return s.sendPP("1", "pop", 10, 20, "t"); }),
        tested("PP '1' '' 10 20 't'", true, "panels",
               [](test_script& s) { return s.sendPP("1", "", 10, 20, "t"); }),
        tested("PP '%2' 'a%1/%3' -2147483648 2147483647 '%1 it's'", true, "a%1",
               [](test_script& s) { return s.sendPP("%2", "%3", INT_MIN, INT_MAX, "%1 it's"); }),
        tested("PP '%4' '' 2147483647 -2147483648 ''", false, "",
               [](test_script& s) { return s.sendPP("%4", "", INT_MAX, INT_MIN, ""); }),
        tested("PR '%1'", true, "", [](test_script& s) { return s.sendPR("%1"); }),
        tested("PD '1'", false, "", [](test_script& s) { return s.panelDestroy("1"); }),
    };
}

namespace {

TEST(PanelCommands, LinesAndResults) {
    runCommandTable(panelRows());
}

} // namespace
