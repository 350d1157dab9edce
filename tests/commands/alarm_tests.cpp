#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "command_families.h"
#include "command_rows.h"
#include "debug_capture.h"
#include "recording_host_link.h"

namespace {

using script = test_script;
using texts = std::vector<std::string>;

// The start-up text as the script is given it.
command_row from(const std::string& startup, command_row row) {
    row.startup = startup;
    return row;
}

} // namespace

std::vector<command_row> alarmRows() {
    return {
        sends("AS '%1 it's'", [](script& s) { s.sendAS("%1 it's"); }),
        sends("AD 'a b'", [](script& s) { s.sendAD("a b"); }),
        sends("AP '%2' -2147483648", [](script& s) { s.sendAP("%2", INT_MIN); }),
        from("panels\\main", sends("AP 'fire' 'panels\\main/siren.wav' 2147483647",
                                   [](script& s) { s.sendAP("fire", "siren.wav", INT_MAX); })),
        sends("AP 'f' '/%1' -1", [](script& s) { s.sendAP("f", "%1", -1); }),
    };
}

namespace {

TEST(AlarmCommands, Lines) {
    runCommandTable(alarmRows());
}

// The alarm controls the host lists, the value each holds (none: it does not answer), and
// whether acknowledging moves it to 4.
struct alarm_control {
    const char* id;
    const char* value;
    bool acknowledged;
};
const alarm_control controls[] = {
    {"alm_0", "value=0", false}, {"alm_1", "value=1", true},  {"alm_2", "value=2", false},
    {"alm_3", "value=3", false}, {"alm_4", "value=4", false}, {"alm_5", "value=5", false},
    {"alm_7", "value=7", true},  {"alm_n", "value=-2", true}, {"alm_x", "text=7", false},
    {"alm_q", nullptr, false},
};

void answerAsThePanel(recording_host_link& host) {
    host.answer("XI '1' 'alm_'", "alm_0,alm_1,alm_2,alm_3,alm_4,alm_5,alm_7,alm_n,alm_x,alm_q");
    for (const alarm_control& c : controls) {
        host.answer(std::string("TG '1' '") + c.id + "' 'value'", c.value);
    }
}

// `valueText` empty: "value" is left alone; "read": it is read and acknowledged.
texts linesFor(const std::string& alarmText, const std::string& valueText) {
    texts lines = {"XI '1' 'alm_'"};
    for (const alarm_control& c : controls) {
        const std::string control = std::string(" '1' '") + c.id + "'";
        lines.push_back("TP 'alarm=" + alarmText + "'" + control);
        if (valueText == "read") {
            lines.push_back("TG" + control + " 'value'");
            if (c.acknowledged) {
                lines.push_back("TP 'value=4'" + control);
            }
        } else if (!valueText.empty()) {
            lines.push_back("TP 'value=" + valueText + "'" + control);
        }
    }
    return lines;
}

TEST(AlarmAction, StateTable) {
    const std::pair<const char*, texts> rows[] = {
        {"ack", linesFor("ack", "read")}, {"4", linesFor("4", "read")},
        {"2", linesFor("2", "2")},        {"12", linesFor("12", "")},
        {"reset", linesFor("reset", "")}, {"ACK", linesFor("ACK", "")},
        {"%1", linesFor("%1", "")},
    };
    debug_capture quiet; // alm_x answers for another property, which textGet reports
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        recording_host_link host;
        answerAsThePanel(host);
        script(&host).alarmAction(row.first);
        texts lines = host.takeLines();
        lines.pop_back(); // the script's last line, "AS"
        EXPECT_EQ(lines, row.second);
        EXPECT_TRUE(host.eachReplyReleasedOnce());
    }
    script(nullptr).alarmAction("ack");
}

char* asArgument(const vesk_host_button& button) {
    return const_cast<char*>(reinterpret_cast<const char*>(&button));
}

TEST(AlarmHandling, DivertsTheAlarmButtonsOnceEnabled) {
    decodeCaptionString ack("alarm=ack");
    decodeCaptionString press("press=2");
    const vesk_host_button buttons[] = {
        {0, 0, "1", "ActionAll", &ack}, {0, 0, "1", "ActionAll", &press},
        {0, 0, "1", "AckAll", &press},  {0, 0, "1", "ActionAll", nullptr},
        {0, 0, "1", "actionall", &ack},
    };
    const texts everyButton = {"button 1:ActionAll:alarm=ack", "button 1:ActionAll:press=2",
                               "button 1:AckAll:press=2",
                               "button 1:ActionAll:=", "button 1:actionall:alarm=ack"};
    const texts notDiverted = {everyButton[1], everyButton[3], everyButton[4]};
    // "ActionAll" passes the caption's value on; "AckAll" acknowledges with "4" whatever its
    // caption says.
    const texts diverted = {"XI '1' 'alm_'",          "TP 'alarm=ack' '1' 'alm_1'",
                            "TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'",
                            "XI '1' 'alm_'",          "TP 'alarm=4' '1' 'alm_1'",
                            "TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'"};

    for (bool enabled : {false, true}) {
        SCOPED_TRACE(enabled);
        recording_host_link host;
        host.answer("XI", "alm_1");
        host.answer("TG", "value=1");
        script alarms(&host);
        script unlinked(nullptr);
        if (enabled) {
            alarms.enableAlarmHandling();
            unlinked.enableAlarmHandling();
        }
        EXPECT_EQ(alarms.alarmHandling, enabled);
        for (const vesk_host_button& button : buttons) {
            EXPECT_EQ(alarms.callback(asArgument(button), VESK_EVENT_BUTTON), nullptr);
            EXPECT_EQ(unlinked.callback(asArgument(button), VESK_EVENT_BUTTON), nullptr);
        }
        EXPECT_EQ(alarms.events, enabled ? notDiverted : everyButton);
        EXPECT_EQ(unlinked.events, alarms.events);
        EXPECT_EQ(host.lines(), enabled ? diverted : texts{});
        EXPECT_TRUE(host.eachReplyReleasedOnce());
    }
}

} // namespace
