// G-family lines: state devices, whose indices are on or off. "GS" sets one (its flag is kept
// in the line only). Registration and polls ("GP" every index of a range, "GQ" only those that
// are on; "1" for on, "0" for off) are in devices.cpp.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* setState(const line_call& call) {
    std::string why;
    // GS device index state flag.
    device_change change{call.c.number(1), call.c.number(2) != 0 ? 1 : 0, std::string()};
    if (call.findDevice(call.c.number(0)) != nullptr &&
        !call.host.change(call.c.number(0), verb_family::g_family, change, why)) {
        call.refuse(why);
    }
    return nullptr;
}

} // namespace vesk_host
