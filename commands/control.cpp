// Control commands: each names a control by its panel and its name on that panel.
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::copyReply;
using vesk_detail::joinedLine;
using vesk_detail::quotedLine;

void vesk_script_helper::sendCE(const vesk_string& panel, const vesk_string& control) {
    sendLine(quotedLine("CE", panel, control));
}

void vesk_script_helper::sendCD(const vesk_string& panel, const vesk_string& control) {
    sendLine(quotedLine("CD", panel, control));
}

void vesk_script_helper::sendCS(const vesk_string& panel, const vesk_string& control) {
    sendLine(quotedLine("CS", panel, control));
}

void vesk_script_helper::sendCH(const vesk_string& panel, const vesk_string& control) {
    sendLine(quotedLine("CH", panel, control));
}

void vesk_script_helper::sendCM(const vesk_string& panel, const vesk_string& control, int first,
                                int second) {
    sendLine(joinedLine("CM '", panel, "' '", control, "' ", first, " ", second));
}

// The host answers "first.second"; no answer gives two empty parts.
void vesk_script_helper::sendCP(const vesk_string& panel, const vesk_string& control,
                                vesk_string& first, vesk_string& second) {
    vesk_string sReply;
    if (!copyReply(sendRead(quotedLine("CP", panel, control)), sReply)) {
        first = "";
        second = "";
        return;
    }
    sReply.split('.', first, second);
}

vesk_string vesk_script_helper::sendCC(const vesk_string& panel, const vesk_string& control,
                                       const vesk_string& third, int fourth, int fifth, int sixth,
                                       int seventh, const vesk_string& eighth) {
    vesk_string sReply;
    copyReply(sendRead(joinedLine("CC '", panel, "' '", control, "' '", third, "' ", fourth, " ",
                                  fifth, " ", sixth, " ", seventh, " '", eighth, "'")),
              sReply);
    return sReply;
}

bool vesk_script_helper::sendCX(const vesk_string& panel, const vesk_string& control) {
    return sendTested(quotedLine("CX", panel, control), true);
}
