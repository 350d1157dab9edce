// device_line: the numeric shapes that the router, I- and G-family lines share.
#pragma once

#include "numeric_line.h"

namespace vesk_detail {

// "RU 3"
inline numeric_line deviceLine(const char* verb, int device) noexcept {
    numeric_line line(verb);
    line.number(device);
    return line;
}

// "RP 3 10 12"
inline numeric_line indexLine(const char* verb, int device, int index1, int index2) noexcept {
    numeric_line line = deviceLine(verb, device);
    line.number(index1).number(index2);
    return line;
}

// "RR 3 10 12", or "RR 3 10 12 'ADD'" to add to what is registered already.
inline numeric_line registerLine(const char* verb, int device, int index1, int index2,
                                 bool add) noexcept {
    numeric_line line = indexLine(verb, device, index1, index2);
    if (add) {
        line.literal(" 'ADD'");
    }
    return line;
}

} // namespace vesk_detail
