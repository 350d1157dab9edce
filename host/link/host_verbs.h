// The host command verbs as a table, read from host_verbs.def. Header only, so that the
// fuzzers, the benchmarks and the tests read the same list as the emulated host.
#pragma once

#include <cstddef>
#include <cstring>

namespace vesk_host {

// The command families, as commands/ and host/lines/ are laid out.
#define VESK_VERB_FAMILIES(FAMILY)                                                                 \
    FAMILY(panel)                                                                                  \
    FAMILY(control_text)                                                                           \
    FAMILY(control)                                                                                \
    FAMILY(router)                                                                                 \
    FAMILY(i_family)                                                                               \
    FAMILY(g_family)                                                                               \
    FAMILY(timer_event)                                                                            \
    FAMILY(host_network)                                                                           \
    FAMILY(lookup)                                                                                 \
    FAMILY(alarm)                                                                                  \
    FAMILY(environment)

enum class verb_family {
#define VESK_FAMILY_ENUMERATOR(family) family,
    VESK_VERB_FAMILIES(VESK_FAMILY_ENUMERATOR)
#undef VESK_FAMILY_ENUMERATOR
};

// The family's name as the .def spells it, e.g. "control_text".
constexpr const char* familyName(verb_family family) {
    constexpr const char* names[] = {
#define VESK_FAMILY_NAME(family) #family,
        VESK_VERB_FAMILIES(VESK_FAMILY_NAME)
#undef VESK_FAMILY_NAME
    };
    return names[static_cast<std::size_t>(family)];
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

// Inline, so that there is one table in the program: findVerb's pointers are indices into it,
// whichever file calls it.
inline constexpr host_verb hostVerbs[] = {
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
