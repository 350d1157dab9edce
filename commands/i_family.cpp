// I-family commands: the router's numeric shapes, and "IW" with its text.
#include "device_line.h"
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::deviceLine;
using vesk_detail::indexLine;
using vesk_detail::joinedLine;
using vesk_detail::registerLine;

void vesk_script_helper::sendIR(int device, int index1, int index2, bool add) {
    sendLine(registerLine("IR", device, index1, index2, add));
}

void vesk_script_helper::sendIU(int device) {
    sendLine(deviceLine("IU", device));
}

void vesk_script_helper::sendIP(int device, int index1, int index2) {
    sendLine(indexLine("IP", device, index1, index2));
}

void vesk_script_helper::sendIQ(int device, int index1, int index2) {
    sendLine(indexLine("IQ", device, index1, index2));
}

// The text is joined, not filled in, so nothing inside it is taken for a placeholder. A text
// longer than the host is said to take is still sent whole: cutting it would change what the
// script asked for.
void vesk_script_helper::sendIW(int device, const vesk_string& text, int index, bool flag) {
    if (text.length() > 256) {
        debug("The IW string is too long (max 256 chars)\n");
    }
    // The text is joined, never searched for placeholders: it reaches the host as given.
    sendLine(joinedLine("IW ", device, " '", text, "' ", index, " ", flag));
}
