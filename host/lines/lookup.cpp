// Lookup lines: instances from the system's instance table, slots by name on the instance's
// device, and the controls of a panel by prefix.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* instanceLookup(const line_call& call) {
    std::string entry = call.host.system().instance(call.c.text(0));
    if (entry.empty()) {
        call.note("no instance '" + call.c.text(0) + "'");
        return nullptr;
    }
    return call.handOut(entry);
}

char* slotLookup(const line_call& call) {
    std::string entry = call.host.system().instance(call.c.text(0));
    command_line numbers = parseCommandLine("SD " + entry);
    if (entry.empty() || !numbers.matches("n?n")) {
        call.note("no instance '" + call.c.text(0) + "' with a device number");
        return nullptr;
    }
    int offset = numbers.operands.size() > 1 ? numbers.number(1) : 0;
    const router* r = call.findRouter(numbers.number(0));
    if (r == nullptr) {
        return nullptr;
    }
    int index = r->indexOf(1, call.c.text(1));
    if (index == 0) {
        index = r->indexOf(0, call.c.text(1));
    }
    if (index == 0) {
        call.note("router " + std::to_string(r->number()) + " has no '" + call.c.text(1) + "'");
        return nullptr;
    }
    // Device, offset and index (the script adds the two), type 3 for a router, the name.
    return call.handOut(std::to_string(r->number()) + " " + std::to_string(offset) + " " +
                        std::to_string(index) + " 3 '" + call.c.text(1) + "'");
}

char* listControls(const line_call& call) {
    const panel_layout* layout = call.openPanel(call.c.text(0));
    if (layout == nullptr) {
        return nullptr;
    }
    const std::string& prefix = call.c.text(1);
    std::string ids;
    bool first = true;
    for (const control& each : layout->controls) {
        if (each.id.compare(0, prefix.size(), prefix) == 0) {
            ids += (first ? "" : ",") + each.id;
            first = false;
        }
    }
    return call.handOut(ids);
}

} // namespace vesk_host
