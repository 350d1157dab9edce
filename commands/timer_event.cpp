// Timers and the "E" lines. Timers belong to the host: it reports each tick back as a timer
// event carrying the id given here.
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::joinedLine;

void vesk_script_helper::timerStart(int id, int interval) {
    if (interval != 0) {
        sendLine(joinedLine("ET ", id, " ", interval));
    } else {
        sendLine(joinedLine("ET ", id));
    }
}

void vesk_script_helper::timerStop(int id) {
    sendLine(joinedLine("ET ", id));
}

void vesk_script_helper::sendES(int first, int second) {
    sendLine(joinedLine("ES ", first, " ", second));
}

// The text goes out bare, without quotes: the caller writes the operands as the host reads them.
void vesk_script_helper::sendES(const vesk_string& text) {
    sendLine(joinedLine("ES ", text));
}

void vesk_script_helper::sendEG(int first, int second, int third, int fourth) {
    sendLine(joinedLine("EG ", first, " ", second, " ", third, " ", fourth));
}

void vesk_script_helper::sendEC(bool flag, const vesk_string& first, const vesk_string& second) {
    sendLine(joinedLine("EC ", flag, " '", first, "' '", second, "'"));
}
