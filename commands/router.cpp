// Router commands. Devices and indices are the host's numbers, passed through as they are.
#include "device_line.h"
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::deviceLine;
using vesk_detail::indexLine;
using vesk_detail::joinedLine;
using vesk_detail::registerLine;

// Some hosts count every exchange, so even a null answer is handed back.
void vesk_script_helper::sendRN(int d1, int d2, int d3, vesk_string& answer) {
    hostReply reply = sendRead(joinedLine("RN ", d1, " ", d2, " ", d3), true);
    if (reply.text() != nullptr) {
        answer = reply.text();
    }
}

const char* vesk_script_helper::sendRI(int d1, int d2, const vesk_string& text) {
    return sendRead(joinedLine("RI ", d1, " ", d2, " '", text, "'")).keep();
}

// The host wants a comma before the text, inside its quotes.
void vesk_script_helper::routerCrosspoint(int device, int source, int destination,
                                          const vesk_string& text, bool flag) {
    sendLine(joinedLine("RC ", device, " ", source, " ", destination, " ',", text, "' ", flag));
}

void vesk_script_helper::routerRegister(int device, int index1, int index2, bool add) {
    sendLine(registerLine("RR", device, index1, index2, add));
}

void vesk_script_helper::sendRU(int device) {
    sendLine(deviceLine("RU", device));
}

void vesk_script_helper::routerPoll(int device, int index1, int index2) {
    sendLine(indexLine("RP", device, index1, index2));
}

void vesk_script_helper::sendRQ(int device, int index1, int index2) {
    sendLine(indexLine("RQ", device, index1, index2));
}

void vesk_script_helper::sendRM(int d1, int d2, int d3, const vesk_string& text, bool flag) {
    vesk_string sLine = joinedLine("RM ", d1, " ", d2, " ", d3, " '", text, "' ", flag);
    sendLine(sLine);
    debug(sLine + "\n");
}
