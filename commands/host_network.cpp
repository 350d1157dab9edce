// Host and network lines. Operands are joined by concatenation, so whatever they hold reaches
// the host as it stands.
#include "vesk_script_helper.h"

namespace {

// `head` is the verb with its blank and opening quote, "HN '" for instance.
vesk_string oneText(const char* head, const vesk_string& text) {
    return head + text + "'";
}

vesk_string twoTexts(const char* head, const vesk_string& first, const vesk_string& second) {
    return head + first + "' '" + second + "'";
}

} // namespace

void vesk_script_helper::sendHN(const vesk_string& text) {
    sendLine(oneText("HN '", text));
}

void vesk_script_helper::sendHG(const vesk_string& first, const vesk_string& second) {
    sendLine(twoTexts("HG '", first, second));
}

void vesk_script_helper::sendHH(const vesk_string& text) {
    sendLine(oneText("HH '", text));
}

void vesk_script_helper::sendHP(const vesk_string& first, const vesk_string& second) {
    sendLine(twoTexts("HP '", first, second));
}

void vesk_script_helper::sendHQ(const vesk_string& first, const vesk_string& second) {
    sendLine(twoTexts("HQ '", first, second));
}

void vesk_script_helper::sendNA(const vesk_string& text) {
    sendLine(oneText("NA '", text));
}

void vesk_script_helper::sendNX(const vesk_string& text) {
    sendLine(oneText("NX '", text));
}

// The host answers these two with a yes or no only: the answer is not reply text and is never
// handed back.
bool vesk_script_helper::sendNIX(const vesk_string& text) {
    return sendTested(oneText("NIX '", text), false);
}

bool vesk_script_helper::sendNIA(const vesk_string& text) {
    return sendTested(oneText("NIA '", text), false);
}
