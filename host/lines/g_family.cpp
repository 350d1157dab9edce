// G-family lines: state devices, whose indices are on or off. "GS" sets one (its flag is kept
// in the line only); "GP" reports every index of a range, "GQ" only those that are on. The
// reports come as secondary revertives after the call, with the text "1" for on, "0" for off.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* pollStates(const line_call& call) {
    const state_device* g = call.findStateDevice(call.c.number(0));
    if (g == nullptr) {
        return nullptr;
    }
    int first = 0;
    int last = 0;
    if (!call.polledRange(g->indices, "state device " + std::to_string(g->device) + " has no index",
                          first, last)) {
        return nullptr;
    }
    bool onOnly = call.c.verb == "GQ";
    for (int index = first; index <= last; ++index) {
        bool on = g->on(index);
        if (!onOnly || on) {
            call.host.queueRevertive(call.slot, device_kind::state, g->device, index,
                                     on ? "1" : "0");
        }
    }
    return nullptr;
}

char* setState(const line_call& call) {
    std::string why;
    if (!call.host.setState(call.c.number(0), call.c.number(1), call.c.number(2) != 0, why)) {
        call.note(why);
    }
    return nullptr;
}

} // namespace vesk_host
