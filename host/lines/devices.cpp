// The lines every device family has: registration ("RR"/"RU", "IR"/"IU", "GR"/"GU") and polls
// ("RP", "IP"/"IQ", "GP"/"GQ"), on a device of the line's family.
//
// A script hears the changes of the indices it registered for. Without 'ADD' a registration
// replaces the script's earlier ones on that device; with it, it adds. A poll reports every
// index of its range, after the call, as the device's revertives; "IQ" and "GQ" only the
// indices that hold something.
#include <algorithm>

#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

namespace {

// "router 3: destination", for a refused range.
std::string rangeName(const device& d) {
    return std::string(d.type().noun) + " " + std::to_string(d.number()) + ": " +
           d.type().indexWord;
}

} // namespace

char* registerDevice(const line_call& call) {
    const command_line& c = call.c;
    bool add = c.operands.size() == 4;
    if (add && c.text(3) != "ADD") {
        call.note("the fourth operand of " + c.verb + " can only be 'ADD'");
        return nullptr;
    }
    int number = c.number(0);
    const device* d = call.findDevice(number);
    if (d == nullptr) {
        return nullptr;
    }
    int first = 0;
    int last = 0;
    bool inside = call.polledRange(d->size(), rangeName(*d), first, last);
    auto& ranges = call.slot.state.registrations[{call.verb.family, number}];
    if (!add) {
        ranges.clear();
    }
    if (inside) {
        ranges.emplace_back(first, last);
    }
    return nullptr;
}

char* cancelDevice(const line_call& call) {
    call.slot.state.registrations.erase({call.verb.family, call.c.number(0)});
    return nullptr;
}

namespace {

char* poll(const line_call& call, bool heldOnly) {
    const device* d = call.findDevice(call.c.number(0));
    if (d == nullptr) {
        return nullptr;
    }
    int first = 0;
    int last = 0;
    if (!call.polledRange(d->size(), rangeName(*d), first, last)) {
        return nullptr;
    }
    for (int index = first; index <= last; ++index) {
        std::string text;
        if ((!heldOnly || d->holds(index)) && d->report(index, text)) {
            call.host.queueRevertive(call.slot, *d, index, text);
        }
    }
    return nullptr;
}

} // namespace

char* pollDevice(const line_call& call) {
    return poll(call, false);
}

char* pollHeld(const line_call& call) {
    return poll(call, true);
}

} // namespace vesk_host
