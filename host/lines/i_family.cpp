// I-family lines: text devices, whose slots hold a text. "IW" writes a slot (its flag is kept
// in the line only); "IP" reports every slot of a range, "IQ" only the slots holding text. The
// reports come as secondary revertives after the call.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* pollSlots(const line_call& call) {
    const text_device* t = call.findTextDevice(call.c.number(0));
    if (t == nullptr) {
        return nullptr;
    }
    int first = 0;
    int last = 0;
    if (!call.polledRange(t->slots, "text device " + std::to_string(t->device) + " has no slot",
                          first, last)) {
        return nullptr;
    }
    bool holdingOnly = call.c.verb == "IQ";
    for (int slot = first; slot <= last; ++slot) {
        std::string text = t->text(slot);
        if (!holdingOnly || !text.empty()) {
            call.host.queueRevertive(call.slot, device_kind::text, t->device, slot, text);
        }
    }
    return nullptr;
}

char* writeSlot(const line_call& call) {
    std::string why;
    if (!call.host.writeSlot(call.c.number(0), call.c.number(2), call.c.text(1), why)) {
        call.note(why);
    }
    return nullptr;
}

} // namespace vesk_host
