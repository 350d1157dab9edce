// The host command verbs as a table, read from host_verbs.def. Header only, so that the
// fuzzers, the benchmarks and the tests read the same list as the emulated host.
#pragma once

#include <cstddef>
#include <cstring>

namespace vesk_host {

enum class verb_family {
    panel,
    control_text,
    control,
    router,
    i_family,
    g_family,
    timer_event,
    host_network,
    lookup,
    alarm,
    environment,
};

// The family's name as the .def spells it, e.g. "control_text".
constexpr const char* familyName(verb_family family) {
    switch (family) {
    case verb_family::panel:
        return "panel";
    case verb_family::control_text:
        return "control_text";
    case verb_family::control:
        return "control";
    case verb_family::router:
        return "router";
    case verb_family::i_family:
        return "i_family";
    case verb_family::g_family:
        return "g_family";
    case verb_family::timer_event:
        return "timer_event";
    case verb_family::host_network:
        return "host_network";
    case verb_family::lookup:
        return "lookup";
    case verb_family::alarm:
        return "alarm";
    case verb_family::environment:
        return "environment";
    }
    return "";
}

// What the script does with the host's answer to the line.
enum class verb_answer {
    none,   // ignored, never released
    tested, // only tested for null, never released
    reply,  // copied and handed back with a release
};

struct host_verb {
    const char* verb;
    verb_family family;
    const char* shape;
    const char* usage;
    verb_answer answer;
};

constexpr host_verb hostVerbs[] = {
#define VESK_VERB(verb, family, shape, usage, answer, handler)                                     \
    {#verb, verb_family::family, shape, usage, verb_answer::answer},
#include "host_verbs.def"
#undef VESK_VERB
};

constexpr std::size_t hostVerbCount = sizeof hostVerbs / sizeof hostVerbs[0];

// The verb a line starts with (up to its first blank); null when the index has none.
inline const host_verb* findVerb(const char* line) {
    std::size_t length = std::strcspn(line, " ");
    for (const host_verb& v : hostVerbs) {
        if (std::strlen(v.verb) == length && std::strncmp(v.verb, line, length) == 0) {
            return &v;
        }
    }
    return nullptr;
}

} // namespace vesk_host
