// Panel lines: a panel opens from its layout file, and the script addresses it by its name.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* showPanel(const line_call& call) {
    panel_layout layout;
    std::string why;
    if (!call.host.system().loadPanel(call.c.text(1), layout, why)) {
        // Here, at the line that opens it, not later at the presses on a panel never shown.
        call.refuse(why);
        return nullptr;
    }
    std::string ids;
    for (const control& each : layout.controls) {
        ids += (ids.empty() ? "" : ", ") + each.id;
    }
    call.note("panel " + call.c.text(0) + " shows " + call.c.text(1) + " (" + ids + ")");
    call.slot.state.panels[call.c.text(0)] = layout;
    return call.acknowledge();
}

char* panelLine(const line_call& call) {
    panel_layout* layout = call.openPanel(call.c.text(0));
    if (layout == nullptr) {
        return nullptr;
    }
    if (call.c.verb == "PT") {
        layout->title = call.c.text(1);
    }
    return call.acknowledge();
}

char* destroyPanel(const line_call& call) {
    if (call.openPanel(call.c.text(0)) == nullptr) {
        return nullptr;
    }
    call.slot.state.panels.erase(call.c.text(0));
    call.note("panel " + call.c.text(0) + " closed");
    return call.acknowledge();
}

} // namespace vesk_host
