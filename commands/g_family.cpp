// G-family commands: the router's numeric shapes, and "GS" with its two flags.
#include "device_line.h"
#include "vesk_script_helper.h"

using vesk_detail::deviceLine;
using vesk_detail::indexLine;
using vesk_detail::joinedLine;
using vesk_detail::registerLine;

void vesk_script_helper::sendGR(int device, int index1, int index2, bool add) {
    sendLine(registerLine("GR", device, index1, index2, add));
}

void vesk_script_helper::sendGU(int device) {
    sendLine(deviceLine("GU", device));
}

void vesk_script_helper::sendGP(int device, int index1, int index2) {
    sendLine(indexLine("GP", device, index1, index2));
}

void vesk_script_helper::sendGQ(int device, int index1, int index2) {
    sendLine(indexLine("GQ", device, index1, index2));
}

// The host reads the index before the state, whatever the order of the parameters.
void vesk_script_helper::sendGS(int device, bool state, int index, bool flag) {
    sendLine(joinedLine("GS ", device, " ", index, " ", state, " ", flag));
}
