// Alarm lines and the alarm handling a script may switch on.
//
// Alarm controls are the controls of the script's own panel whose ids the host lists for the
// pattern "alm_". Each shows the raw alarm text in its property "alarm" and a state number in
// its property "value".
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::joinedLine;
using vesk_detail::quotedLine;

namespace {

const char* const ownPanel = "1";
const int ackState = 4;
const int noState = -1;

// "ack" acknowledges; a single character is a state number; anything else is only shown.
int alarmState(const vesk_string& value) {
    if (value == "ack") {
        return ackState;
    }
    if (value.length() == 1) {
        return value.toInt();
    }
    return noState;
}

// The states an acknowledgement leaves as they are; every other state becomes ackState.
bool keptOnAck(int state) {
    return state == 0 || (state >= 2 && state <= 5);
}

} // namespace

void vesk_script_helper::sendAS(const vesk_string& name) {
    sendLine(quotedLine("AS", name));
}

void vesk_script_helper::sendAD(const vesk_string& name) {
    sendLine(quotedLine("AD", name));
}

void vesk_script_helper::sendAP(const vesk_string& name, int number) {
    sendLine(joinedLine("AP '", name, "' ", number));
}

// The separator is always "/", whatever the start-up text holds, and also when it is empty.
void vesk_script_helper::sendAP(const vesk_string& name, const vesk_string& file, int number) {
    sendLine(joinedLine("AP '", name, "' '", startup, "/", file, "' ", number));
}

void vesk_script_helper::enableAlarmHandling() {
    alarmHandling = true;
}

void vesk_script_helper::alarmAction(const vesk_string& value) {
    const int state = alarmState(value);
    const vesk_stringlist lControls = controlList(ownPanel, "alm_");
    vesk_string sVal;
    for (vesk_stringlistIterator it = lControls.begin(); it != lControls.end(); ++it) {
        const vesk_string& control = *it;
        textPut("alarm", value, ownPanel, control);
        if (state == ackState) {
            textGet("value", ownPanel, control, sVal);
            if (!keptOnAck(sVal.toInt())) {
                textPut("value", vesk_string(ackState), ownPanel, control);
            }
        } else if (state != noState) {
            textPut("value", vesk_string(state), ownPanel, control);
        }
    }
}

bool vesk_script_helper::divertAlarmButton(buttonNotify* notify) {
    const vesk_string id = notify->id();
    if (id == "ActionAll" && notify->command() == "alarm") {
        alarmAction(notify->value());
        return true;
    }
    if (id == "AckAll") {
        alarmAction(vesk_string(ackState));
        return true;
    }
    return false;
}
