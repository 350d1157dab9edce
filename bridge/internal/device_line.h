// device_line: the numeric shapes that the router, I- and G-family lines share. The verb is a
// literal of two letters: "RU", "IP", "GR" ...
#pragma once

#include <cstddef>

#include "text_line.h"

namespace vesk_detail {

// "RU 3"
template <std::size_t N> composed_line deviceLine(const char (&verb)[N], int device) {
    return joinedLine(verb, " ", device);
}

// "RP 3 10 12"
template <std::size_t N>
composed_line indexLine(const char (&verb)[N], int device, int index1, int index2) {
    return joinedLine(verb, " ", device, " ", index1, " ", index2);
}

// "RR 3 10 12", or "RR 3 10 12 'ADD'" to add to what is registered already.
template <std::size_t N>
composed_line registerLine(const char (&verb)[N], int device, int index1, int index2, bool add) {
    if (add) {
        return joinedLine(verb, " ", device, " ", index1, " ", index2, " 'ADD'");
    }
    return indexLine(verb, device, index1, index2);
}

} // namespace vesk_detail
