// Panel commands. The host answers a panel line with a pointer that only says whether it took
// the line: it is tested, never read and never released.
#include "text_line.h"
#include "vesk_script_helper.h"

using vesk_detail::composed_line;
using vesk_detail::joinedLine;
using vesk_detail::quotedLine;

namespace {

// Panel files are named relative to the start-up text, when the host gave one.
vesk_string panelFile(const vesk_string& startup, const vesk_string& name) {
    return startup.length() > 0 ? startup + "/" + name : name;
}

// "PS"/"PI": an empty extra leaves its field out altogether.
composed_line showLine(const char* verb, const vesk_string& panel, const vesk_string& file,
                       const vesk_string& extra) {
    if (extra.length() > 0) {
        return quotedLine(verb, panel, file, extra);
    }
    return quotedLine(verb, panel, file);
}

} // namespace

bool vesk_script_helper::panelShow(const vesk_string& panel, const vesk_string& name,
                                   const vesk_string& extra) {
    return sendTested(showLine("PS", panel, panelFile(startup, name), extra), true);
}

bool vesk_script_helper::sendPI(const vesk_string& panel, const vesk_string& name,
                                const vesk_string& extra) {
    return sendTested(showLine("PI", panel, panelFile(startup, name), extra), true);
}

bool vesk_script_helper::sendPT(const vesk_string& panel, const vesk_string& text) {
    return sendTested(quotedLine("PT", panel, text), true);
}

// Unlike "PS", the file field always joins the start-up text when there is a name, even an
// empty start-up text; without a name the field stays empty.
bool vesk_script_helper::sendPP(const vesk_string& panel, const vesk_string& name, int first,
                                int second, const vesk_string& text) {
    if (name.length() > 0) {
        return sendTested(joinedLine("PP '", panel, "' '", startup, "/", name, "' ", first, " ",
                                     second, " '", text, "'"),
                          true);
    }
    return sendTested(joinedLine("PP '", panel, "' '' ", first, " ", second, " '", text, "'"),
                      true);
}

bool vesk_script_helper::sendPR(const vesk_string& panel) {
    return sendTested(quotedLine("PR", panel), true);
}

bool vesk_script_helper::panelDestroy(const vesk_string& panel) {
    return sendTested(quotedLine("PD", panel), true);
}
