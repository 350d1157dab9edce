// Host and network lines. Operands are joined by concatenation, so whatever they hold reaches
// the host as it stands.
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::quotedLine;

void vesk_script_helper::sendHN(const vesk_string& text) {
    sendLine(quotedLine("HN", text));
}

void vesk_script_helper::sendHG(const vesk_string& first, const vesk_string& second) {
    sendLine(quotedLine("HG", first, second));
}

void vesk_script_helper::sendHH(const vesk_string& text) {
    sendLine(quotedLine("HH", text));
}

void vesk_script_helper::sendHP(const vesk_string& first, const vesk_string& second) {
    sendLine(quotedLine("HP", first, second));
}

void vesk_script_helper::sendHQ(const vesk_string& first, const vesk_string& second) {
    sendLine(quotedLine("HQ", first, second));
}

void vesk_script_helper::sendNA(const vesk_string& text) {
    sendLine(quotedLine("NA", text));
}

void vesk_script_helper::sendNX(const vesk_string& text) {
    sendLine(quotedLine("NX", text));
}

// The host answers these two with a yes or no only: the answer is not reply text and is never
// handed back.
bool vesk_script_helper::sendNIX(const vesk_string& text) {
    return sendTested(quotedLine("NIX", text), false);
}

bool vesk_script_helper::sendNIA(const vesk_string& text) {
    return sendTested(quotedLine("NIA", text), false);
}
