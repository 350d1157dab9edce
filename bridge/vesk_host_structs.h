// The structures behind button and revertive events, as the panel host lays them out.
//
// Words are 32-bit integers and texts are native pointers, so a 32-bit build has the host's
// layout exactly; the assertions below pin it. The host owns these structures: a script reads
// them only while the event's handler runs, and never writes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decodeCaptionString.h"

struct vesk_host_button {
    std::int32_t w0; // the host's own; never read
    std::int32_t w1; // the host's own; never read
    const char* panel;
    const char* id;
    const decodeCaptionString* caption; // may be null
};

struct vesk_host_revertive {
    std::int32_t device;
    std::int32_t w1; // the host's own; never read
    std::int32_t index;
    std::int32_t w3; // the host's own; never read
    const char* text;
};

// The panel host is a 32-bit program, and a 32-bit build has its layout byte for byte. The
// test is part of each assertion rather than a preprocessor guard, so that no compiler can
// skip the assertions unnoticed; 64-bit builds have the natural layout.
namespace vesk_detail {
constexpr bool hostLayout(std::size_t actual, std::size_t host) {
    return sizeof(void*) != 4 || actual == host;
}
} // namespace vesk_detail

static_assert(vesk_detail::hostLayout(offsetof(vesk_host_button, panel), 8), "button panel at 8");
static_assert(vesk_detail::hostLayout(offsetof(vesk_host_button, id), 12), "button id at 12");
static_assert(vesk_detail::hostLayout(offsetof(vesk_host_button, caption), 16),
              "button caption at 16");
static_assert(vesk_detail::hostLayout(offsetof(vesk_host_revertive, device), 0),
              "revertive device at 0");
static_assert(vesk_detail::hostLayout(offsetof(vesk_host_revertive, index), 8),
              "revertive index at 8");
static_assert(vesk_detail::hostLayout(offsetof(vesk_host_revertive, text), 16),
              "revertive text at 16");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, command), 0),
              "caption command at 0");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, subs), 4), "caption subs at 4");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, value), 132),
              "caption value at 132");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, subCount), 136),
              "caption subCount at 136");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, hasValue), 140),
              "caption hasValue at 140");
static_assert(vesk_detail::hostLayout(offsetof(decodeCaptionString, text), 144),
              "caption text at 144");
static_assert(vesk_detail::hostLayout(sizeof(decodeCaptionString), 148), "caption is 148 bytes");
