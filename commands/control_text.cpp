// Control text: putting text into a control and reading a property of one back.
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::copyReply;
using vesk_detail::joinedLine;
using vesk_detail::quotedLine;

void vesk_script_helper::textPut(const vesk_string& text, const vesk_string& panel,
                                 const vesk_string& control) {
    sendLine(quotedLine("TP", text, panel, control));
}

// The tally line of every shown revertive: property and value are joined in the line itself,
// not in a text of their own first.
void vesk_script_helper::textPut(const vesk_string& property, const vesk_string& value,
                                 const vesk_string& panel, const vesk_string& control) {
    sendLine(joinedLine("TP '", property, "=", value, "' '", panel, "' '", control, "'"));
}

// The host answers "name=value". An answer for another property than the one asked for is
// reported and read as no value.
void vesk_script_helper::textGet(const vesk_string& property, const vesk_string& panel,
                                 const vesk_string& control, vesk_string& result) {
    vesk_string sReply;
    if (!copyReply(sendRead(quotedLine("TG", panel, control, property)), sReply)) {
        result = "";
        return;
    }
    if (property == "all") {
        result = sReply;
        return;
    }
    vesk_string sName;
    vesk_string sValue;
    sReply.split('=', sName, sValue);
    if (sName == property) {
        result = sValue;
        return;
    }
    debug("textGet: value returned \"%1\" was not the value requested \"%2\" (value returned "
          "was \"%3\" from control \"%4\", on panel \"%5\")",
          sName, property, sReply, control, panel);
    result = "";
}
