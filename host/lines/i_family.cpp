// I-family lines: text devices, whose slots hold a text. "IW" writes a slot (its flag is kept
// in the line only). Registration and polls ("IP" every slot of a range, "IQ" only the slots
// holding text) are in devices.cpp.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* writeSlot(const line_call& call) {
    std::string why;
    // IW device 'text' index flag.
    device_change change{call.c.number(2), 0, call.c.text(1)};
    if (call.findDevice(call.c.number(0)) != nullptr &&
        !call.host.change(call.c.number(0), verb_family::i_family, change, why)) {
        call.refuse(why);
    }
    return nullptr;
}

} // namespace vesk_host
