#include "foreign_object.h"

#include <cstdint>
#include <cstdio>
#include <typeinfo>

namespace vesk_host {

namespace {

// Member calls as Visual Studio makes them. GCC and clang for 32-bit Windows have thiscall;
// Visual Studio's own compiler accepts it only on members, but its fastcall with an unused
// EDX word is the same call.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#if defined(__GNUC__)
// GCC applies thiscall to plain functions too, and under -Wpedantic says it is unusual.
#pragma GCC diagnostic ignored "-Wattributes"
#define VESK_MEMBER __attribute__((thiscall))
#define VESK_SELF(name) void* name
#define VESK_SELF_USED() (void)0
#define VESK_THIS(object) (object)
#else
#define VESK_MEMBER __fastcall
#define VESK_SELF(name) void *name, void *unusedEdx
#define VESK_SELF_USED() (void)unusedEdx
#define VESK_THIS(object) (object), nullptr
#endif
#else
#define VESK_MEMBER
#define VESK_SELF(name) void* name
#define VESK_SELF_USED() (void)0
#define VESK_THIS(object) (object)
#endif

using destructor_slot = void*(VESK_MEMBER*)(VESK_SELF(self), unsigned flags);
using callback_slot = char*(VESK_MEMBER*)(VESK_SELF(self), char* argument, int kind);

// Visual Studio's table as the script's object has it.
struct msvc_table {
    destructor_slot scalarDeletingDestructor;
    callback_slot callback;
};

char* VESK_MEMBER linkCallback(VESK_SELF(self), char* argument, int kind) {
    VESK_SELF_USED();
    vesk_client_callback* target = static_cast<two_layout_link*>(self)->target;
    // Nothing may be thrown into a script, least of all one of another C++ runtime.
    try {
        return target->callback(argument, kind);
    } catch (...) {
        return nullptr;
    }
}

void* VESK_MEMBER linkDestructor(VESK_SELF(self), unsigned) {
    VESK_SELF_USED();
    std::fputs("vesk-host: a script destroyed the host link it was given; the host keeps it\n",
               stderr);
    return self;
}

// What the link says it is, for tools that check the dynamic type at every virtual call (the
// undefined-behaviour sanitizer's vptr check in a script): a class of the interface.
class link_type : public vesk_client_callback {
public:
    char* callback(char*, int) override { return nullptr; }
};

// Words before the table as an Itanium table has them (offset to the top, typeinfo), then the
// slots. Every member is one pointer-sized word.
struct two_layout_table {
    std::intptr_t offsetToTop;
    const void* typeinfo;
    destructor_slot destructor;
    callback_slot msvcCallback;
    callback_slot itaniumCallback;
};
static_assert(sizeof(two_layout_table) == 5 * sizeof(void*), "one word per slot");

const two_layout_table linkTable = {0, &typeid(link_type), linkDestructor, linkCallback,
                                    linkCallback};

const msvc_table* tableOf(void* object) {
    return *static_cast<const msvc_table* const*>(object);
}

} // namespace

two_layout_link::two_layout_link(vesk_client_callback* forwardTo)
    : table(&linkTable.destructor), target(forwardTo) {}

msvc_object::~msvc_object() {
    tableOf(m_object)->scalarDeletingDestructor(VESK_THIS(m_object), 1);
}

char* msvc_object::callback(char* argument, int kind) {
    return tableOf(m_object)->callback(VESK_THIS(m_object), argument, kind);
}

} // namespace vesk_host
