// Timers and the "E" lines. Timers belong to the host: it reports each tick back as a timer
// event carrying the id given here.
#include "numeric_line.h"
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::filledLine;
using vesk_detail::numeric_line;

void vesk_script_helper::timerStart(int id, int interval) {
    numeric_line line("ET");
    line.number(id);
    if (interval != 0) {
        line.number(interval);
    }
    sendLine(line.c_str());
}

void vesk_script_helper::timerStop(int id) {
    sendLine(numeric_line("ET").number(id).c_str());
}

void vesk_script_helper::sendES(int first, int second) {
    sendLine(numeric_line("ES").number(first).number(second).c_str());
}

// The text goes out bare, without quotes: the caller writes the operands as the host reads them.
void vesk_script_helper::sendES(const vesk_string& text) {
    sendLine("ES " + text);
}

void vesk_script_helper::sendEG(int first, int second, int third, int fourth) {
    sendLine(numeric_line("EG").number(first).number(second).number(third).number(fourth).c_str());
}

void vesk_script_helper::sendEC(bool flag, const vesk_string& first, const vesk_string& second) {
    sendLine(filledLine("EC %1 '%2' '%3'", flag, first, second));
}
