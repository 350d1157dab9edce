// Which C++ object layout a script object has, found before anything is called on it.
//
// The object's first word points at its virtual table. Visual Studio's layout (the panel
// host's own) keeps a pointer to the class's complete object locator in the word before the
// table, and the table holds the scalar deleting destructor, then callback. The Itanium layout
// (MinGW, GCC, clang for GNU targets) keeps the offset to the top (0) two words before the
// table and the typeinfo one word before, and the table holds two destructors, then callback.
// Calling one layout through the other's slots calls a destructor for callback.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vesk_host {

enum class object_abi { unknown, msvc, itanium };

// "msvc", "itanium"; parseObjectAbi is its inverse (false for anything else).
const char* objectAbiName(object_abi abi);
bool parseObjectAbi(const std::string& text, object_abi& abi);

// The memory of one loaded library: what may be read while recognising.
class image_view {
public:
    struct range {
        const unsigned char* begin;
        std::size_t size;
    };
    // Asks the system whether memory is mapped readable now (VirtualQuery); null: the ranges
    // alone decide.
    using probe = std::function<bool(const void* at, std::size_t size)>;

    image_view() = default;
    // `base`: where the image starts, what the 64-bit locator's offsets count from.
    image_view(const unsigned char* base, std::vector<range> ranges, probe check = probe())
        : m_base(base), m_ranges(std::move(ranges)), m_probe(std::move(check)) {}

    const unsigned char* base() const { return m_base; }
    bool empty() const { return m_ranges.empty(); }
    // Whether [at, at + size) lies inside one range and is readable.
    bool readable(const void* at, std::size_t size) const;
    // The word at `at`; only after readable(at, sizeof(void*)).
    static const void* word(const void* at);

private:
    const unsigned char* m_base = nullptr;
    std::vector<range> m_ranges;
    probe m_probe;
};

// Filled without allocating: recognition runs on every creation, also where a test fails
// allocations one by one.
struct layout_finding {
    object_abi abi = object_abi::unknown;
    char typeName[256] = {}; // ".?AVviewTrail@@", "9viewTrail"; empty when not found
    const char* why = "";    // when unknown: why neither layout was recognised
};

// Recognises the layout from the virtual table pointer (the object's first word). Every word
// is checked readable inside `image` before it is read; nothing is called.
layout_finding recogniseLayout(const void* vtable, const image_view& image);

// Whether the slots that `abi` calls (MSVC: 2, Itanium: 3) are readable words pointing into
// the image; `why` says which is not.
bool slotsInImage(const void* vtable, object_abi abi, const image_view& image, std::string& why);

} // namespace vesk_host
