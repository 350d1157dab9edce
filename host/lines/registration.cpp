// Registration lines of the three device families ("RR"/"RU", "IR"/"IU", "GR"/"GU"): a script
// hears the changes of the indices it registered for on a device of the line's kind. Without
// 'ADD' a registration replaces the script's earlier ones on that device; with it, it adds.
#include <algorithm>

#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

namespace {

bool deviceThere(const line_call& call, int device) {
    switch (call.deviceKind()) {
    case device_kind::text:
        return call.findTextDevice(device) != nullptr;
    case device_kind::state:
        return call.findStateDevice(device) != nullptr;
    default:
        return call.findRouter(device) != nullptr;
    }
}

} // namespace

char* registerDevice(const line_call& call) {
    const command_line& c = call.c;
    bool add = c.operands.size() == 4;
    if (add && c.text(3) != "ADD") {
        call.note("the fourth operand of " + c.verb + " can only be 'ADD'");
        return nullptr;
    }
    int device = c.number(0);
    if (!deviceThere(call, device)) {
        return nullptr;
    }
    auto& ranges = call.slot.state.registrations[{call.deviceKind(), device}];
    if (!add) {
        ranges.clear();
    }
    ranges.emplace_back(std::min(c.number(1), c.number(2)), std::max(c.number(1), c.number(2)));
    return nullptr;
}

char* cancelDevice(const line_call& call) {
    call.slot.state.registrations.erase({call.deviceKind(), call.c.number(0)});
    return nullptr;
}

} // namespace vesk_host
