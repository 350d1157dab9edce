// Script objects of the other C++ layout, and a host link that serves scripts of either.
//
// Both layouts put the virtual table pointer first. Visual Studio's table is [scalar deleting
// destructor, callback]; the Itanium table is [complete destructor, deleting destructor,
// callback]. Members are called with thiscall on 32-bit Windows (`this` in ECX, the callee
// pops the rest), and with the platform's one convention, `this` first, elsewhere.
#pragma once

#include "vesk_client_callback.h"

namespace vesk_host {

// The host link handed to every script before its layout is known. Its table serves both:
// slot 1 is Visual Studio's callback, slot 2 the Itanium one, both forwarding to `target`;
// the words before it are an Itanium table's, with the typeinfo of a class of the interface.
// A script that destroys its link reaches slot 0 (Visual Studio) or slot 0/1 (Itanium):
// slot 0 leaves the link alone and says so; the Itanium deleting destructor lands on the
// Visual Studio callback and is undefined, as deleting a host-owned link always was.
struct two_layout_link {
    explicit two_layout_link(vesk_client_callback* forwardTo);

    const void* table; // first word: the shared virtual table
    vesk_client_callback* target;
};

// A script object in Visual Studio's layout, driven through its two slots. Deleting the
// adapter calls the object's scalar deleting destructor with flags 1 (destroy and free).
class msvc_object final : public vesk_client_callback {
public:
    // `object`: made by the script's factory, owned by this adapter from now on.
    explicit msvc_object(void* object) : m_object(object) {}
    ~msvc_object() override;
    msvc_object(const msvc_object&) = delete;
    msvc_object& operator=(const msvc_object&) = delete;

    char* callback(char* argument, int kind) override;
    void* object() const { return m_object; }

private:
    void* m_object;
};

} // namespace vesk_host
