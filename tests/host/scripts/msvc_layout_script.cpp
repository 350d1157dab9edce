// A script object laid out by hand as Visual Studio lays out a class without RTTI: the first
// word points at [scalar deleting destructor, callback], with nothing recognisable before the
// table, and the host link is called through its slot 1 the same way. Plain functions and
// structs only, so that no C++ object layout of this compiler takes part.
//
//   send=LINE   sends LINE, ignores the reply
//   read=LINE   sends LINE, answers with the reply (or "(null)") and releases the reply
//
// Every call is written to standard error with the mark "[msvc-layout]", so that a test can
// show that a refused object was never called.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vesk_script_export.h"

#if defined(_WIN32) && defined(__i386__)
// GCC applies thiscall to plain functions too, and under -Wpedantic says it is unusual.
#pragma GCC diagnostic ignored "-Wattributes"
#define MEMBER_CALL __attribute__((thiscall))
#else
#define MEMBER_CALL
#endif

namespace {

typedef void*(MEMBER_CALL* destructor_slot)(void* self, unsigned flags);
typedef char*(MEMBER_CALL* callback_slot)(void* self, char* argument, int kind);

struct table {
    destructor_slot scalarDeletingDestructor;
    callback_slot callback;
};

struct object {
    const table* vtable;
    void* link; // the host's object: its first word points at the same kind of table
};

char* callLink(void* link, char* argument, int kind) {
    const table* linkTable = *static_cast<const table* const*>(link);
    return linkTable->callback(link, argument, kind);
}

char* copy(const char* text) {
    char* made = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    if (made != nullptr) {
        std::strcpy(made, text);
    }
    return made;
}

char* MEMBER_CALL scriptCallback(void* self, char* argument, int kind) {
    object* script = static_cast<object*>(self);
    std::fprintf(stderr, "[msvc-layout] callback kind %d\n", kind);
    if (kind == VESK_EVENT_RELEASE) {
        std::free(argument); // an answer of ours, back from the host
        return nullptr;
    }
    if (kind != VESK_EVENT_PARENT || argument == nullptr || script->link == nullptr) {
        return nullptr;
    }
    if (std::strncmp(argument, "send=", 5) == 0) {
        callLink(script->link, argument + 5, VESK_LINK_SEND);
        return nullptr;
    }
    if (std::strncmp(argument, "read=", 5) == 0) {
        char* reply = callLink(script->link, argument + 5, VESK_LINK_SEND);
        char* answer = copy(reply != nullptr ? reply : "(null)");
        callLink(script->link, reply, VESK_LINK_RELEASE);
        return answer;
    }
    return nullptr;
}

void* MEMBER_CALL scriptDestructor(void* self, unsigned flags) {
    std::fprintf(stderr, "[msvc-layout] destroyed with flags %u\n", flags);
    if ((flags & 1) != 0) {
        std::free(self);
    }
    return self;
}

// Preceded by a null word: no complete object locator, no typeinfo.
struct table_with_nothing_before {
    const void* nothing;
    table slots;
};
const table_with_nothing_before scriptTable = {nullptr, {scriptDestructor, scriptCallback}};

} // namespace

VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char*) {
    std::fprintf(stderr, "[msvc-layout] created\n");
    object* made = static_cast<object*>(std::malloc(sizeof(object)));
    if (made == nullptr) {
        return nullptr;
    }
    made->vtable = &scriptTable.slots;
    made->link = link;
    return reinterpret_cast<vesk_client_callback*>(made);
}
