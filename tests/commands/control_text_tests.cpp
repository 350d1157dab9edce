#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_families.h"
#include "command_rows.h"
#include "debug_capture.h"
#include "recording_host_link.h"

namespace {

// textGet on control x of panel 1, starting from text the result must replace.
command_row get(const char* property, const host_answer& answer, const std::string& result) {
    auto call = [=](test_script& s) {
        vesk_string value("old");
        s.textGet(property, "1", "x", value);
        return show(value);
    };
    return reads("TG '1' 'x' '" + std::string(property) + "'", call, answer, result, "''");
}

} // namespace

std::vector<command_row> controlTextRows() {
    const std::string longText(1000, 't');
    std::vector<command_row> rows = {
        sends("TP 'abc=1' '1' 'button'", [](test_script& s) { s.textPut("abc=1", "1", "button"); }),
        sends("TP '%2 it's' '%1' ''", [](test_script& s) { s.textPut("%2 it's", "%1", ""); }),
        sends("TP '" + longText + "' '1' 'x'",
              [longText](test_script& s) { s.textPut(longText.c_str(), "1", "x"); }),
        sends("TP 'text=' '1' 'tally'",
              [](test_script& s) { s.textPut("text", "", "1", "tally"); }),
        sends("TP '%1=%2' ' ' 'a b'", [](test_script& s) { s.textPut("%1", "%2", " ", "a b"); }),
        get("value", host_answer::with("value=3"), "'3'"),
        get("%1", host_answer::with("%1=5 %2"), "'5 %2'"),
        get("value", host_answer::nothing(), "''"),
        // Answers for another property, or none the script can read, give no value.
        get("value", host_answer::with("text=3"), "''"),
        get("Value", host_answer::with("value=3"), "''"),
        get("value", host_answer::with(""), "''"),
        get("all", host_answer::with("value=3"), "'value=3'"),
    };
    // Lines are composed on the stack up to a size and on the heap beyond it: every length
    // around the switch comes out whole.
    for (std::size_t length = 230; length <= 270; ++length) {
        const std::string text(length, static_cast<char>('a' + length % 26));
        rows.push_back(sends("TP '" + text + "' '1' 'x'",
                             [text](test_script& s) { s.textPut(text.c_str(), "1", "x"); }));
    }
    return rows;
}

namespace {

TEST(ControlTextCommands, LinesAndResults) {
    runCommandTable(controlTextRows());
}

TEST(ControlTextCommands, ReplyForAnotherPropertyIsReportedOnce) {
    recording_host_link host;
    test_script script(&host);
    debug_capture debug;
    vesk_string result("old");

    host.answer("TG", "text=3");
    script.textGet("value", "1", "x", result);
    EXPECT_EQ(show(result), "''");
    EXPECT_EQ(debug.writes(),
              std::vector<std::string>{"textGet: value returned \"text\" was not the value "
                                       "requested \"value\" (value returned was \"text=3\" from "
                                       "control \"x\", on panel \"1\")"});

    // A matching reply, "all", no reply and no link report nothing.
    debug.clear();
    host.answer("TG", "text=3");
    script.textGet("text", "1", "x", result);
    script.textGet("all", "1", "x", result);
    host.answer("TG", nullptr);
    script.textGet("value", "1", "x", result);
    test_script(nullptr).textGet("value", "1", "x", result);
    EXPECT_TRUE(debug.writes().empty());
    EXPECT_TRUE(host.eachReplyReleasedOnce());
}

} // namespace
