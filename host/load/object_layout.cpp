#include "object_layout.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace vesk_host {

namespace {

const std::size_t wordSize = sizeof(void*);
const std::size_t maxTypeName = sizeof(layout_finding::typeName);

const unsigned char* bytes(const void* at) {
    return static_cast<const unsigned char*>(at);
}

// Reads from a library's memory once it is known to be there. The words around a virtual table
// belong to no object a memory checker knows of (they may be the padding it keeps between
// globals), so these reads go uninstrumented, byte by byte, without memcpy's checked copy.
#if defined(__GNUC__) || defined(__clang__)
#define VESK_UNCHECKED_READ __attribute__((no_sanitize_address))
#else
#define VESK_UNCHECKED_READ
#endif
VESK_UNCHECKED_READ void copyOut(void* to, const void* from, std::size_t size) {
    const volatile unsigned char* source = static_cast<const volatile unsigned char*>(from);
    unsigned char* target = static_cast<unsigned char*>(to);
    for (std::size_t i = 0; i < size; ++i) {
        target[i] = source[i];
    }
}

unsigned char byteAt(const unsigned char* at) {
    unsigned char value = 0;
    copyOut(&value, at, 1);
    return value;
}

std::uint32_t u32(const unsigned char* at, std::size_t index) {
    std::uint32_t value = 0;
    copyOut(&value, at + index * 4, 4);
    return value;
}

// Copies the NUL-terminated text at `at` to `name`, each byte checked; false when it does not
// end in the image within the room there is.
bool readName(const image_view& image, const unsigned char* at, char (&name)[maxTypeName]) {
    for (std::size_t i = 0; i < maxTypeName && image.readable(at + i, 1); ++i) {
        name[i] = static_cast<char>(byteAt(at + i));
        if (name[i] == 0) {
            return true;
        }
    }
    name[0] = 0;
    return false;
}

// A mangled Itanium class name: "9viewTrail", "N5outer5innerE", "St9exception", "Z4mainE1X";
// GCC marks names that are not unique across libraries with a leading '*'.
bool plausibleItaniumName(const char* name) {
    std::size_t at = name[0] == '*' ? 1 : 0;
    if (name[at] == 0) {
        return false;
    }
    const char first = name[at];
    if (!std::isdigit(static_cast<unsigned char>(first)) && first != 'N' && first != 'S' &&
        first != 'Z') {
        return false;
    }
    for (; name[at] != 0; ++at) {
        const unsigned char c = static_cast<unsigned char>(name[at]);
        if (!std::isalnum(c) && c != '_' && c != '$' && c != '.') {
            return false;
        }
    }
    return true;
}

// The type name from the complete object locator that `locator` should be; false when it is
// none.
bool msvcTypeName(const image_view& image, const unsigned char* locator,
                  char (&name)[maxTypeName]) {
    const unsigned char* descriptor = nullptr;
    if (wordSize == 8) {
        // signature 1, offset 0, constructor displacement, type descriptor, class hierarchy,
        // the locator itself: offsets from the image base.
        if (!image.readable(locator, 6 * 4) || u32(locator, 0) != 1 || u32(locator, 1) != 0 ||
            image.base() + u32(locator, 5) != locator) {
            return false;
        }
        descriptor = image.base() + u32(locator, 3);
    } else {
        // signature 0 and absolute addresses.
        if (!image.readable(locator, 5 * 4) || u32(locator, 0) != 0 || u32(locator, 1) != 0) {
            return false;
        }
        descriptor = reinterpret_cast<const unsigned char*>(std::uintptr_t{u32(locator, 3)});
    }
    // The descriptor: its own virtual table pointer, a spare word, then the decorated name.
    if (!image.readable(descriptor, 2 * wordSize) ||
        !readName(image, descriptor + 2 * wordSize, name)) {
        return false;
    }
    if (std::strncmp(name, ".?AV", 4) != 0 && std::strncmp(name, ".?AU", 4) != 0) {
        name[0] = 0;
        return false;
    }
    return true;
}

} // namespace

const char* objectAbiName(object_abi abi) {
    switch (abi) {
    case object_abi::msvc:
        return "msvc";
    case object_abi::itanium:
        return "itanium";
    case object_abi::unknown:
        break;
    }
    return "unknown";
}

bool parseObjectAbi(const std::string& text, object_abi& abi) {
    if (text == "msvc") {
        abi = object_abi::msvc;
    } else if (text == "itanium") {
        abi = object_abi::itanium;
    } else {
        return false;
    }
    return true;
}

bool image_view::readable(const void* at, std::size_t size) const {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(at);
    for (const range& r : m_ranges) {
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(r.begin);
        if (address >= begin && size <= r.size && address - begin <= r.size - size) {
            return !m_probe || m_probe(at, size);
        }
    }
    return false;
}

const void* image_view::word(const void* at) {
    const void* value = nullptr;
    copyOut(&value, at, sizeof value);
    return value;
}

layout_finding recogniseLayout(const void* vtable, const image_view& image) {
    layout_finding found;
    const unsigned char* table = bytes(vtable);
    // Arithmetic on the address as a number: the table may be anywhere, or nowhere.
    const unsigned char* before =
        reinterpret_cast<const unsigned char*>(reinterpret_cast<std::uintptr_t>(table) - wordSize);
    if (!image.readable(before, 2 * wordSize)) {
        found.why = "its first word does not point into the library, so it is no virtual "
                    "table pointer of the script's class";
        return found;
    }
    const unsigned char* locator = bytes(image_view::word(before));
    if (msvcTypeName(image, locator, found.typeName)) {
        found.abi = object_abi::msvc;
        return found;
    }
    const unsigned char* twoBefore =
        reinterpret_cast<const unsigned char*>(reinterpret_cast<std::uintptr_t>(before) - wordSize);
    if (image.readable(twoBefore, wordSize) && image_view::word(twoBefore) == nullptr) {
        const unsigned char* typeinfo = locator;
        if (image.readable(typeinfo, 2 * wordSize)) {
            if (readName(image, bytes(image_view::word(typeinfo + wordSize)), found.typeName) &&
                plausibleItaniumName(found.typeName)) {
                found.abi = object_abi::itanium;
                return found;
            }
            found.typeName[0] = 0;
        }
    }
    found.why = "neither a Visual Studio complete object locator nor an Itanium typeinfo "
                "precedes its virtual table (a library built without RTTI?)";
    return found;
}

bool slotsInImage(const void* vtable, object_abi abi, const image_view& image, std::string& why) {
    const std::size_t slots = abi == object_abi::msvc ? 2 : 3;
    if (!image.readable(vtable, slots * wordSize)) {
        why = "its first word does not point at " + std::to_string(slots) +
              " words of the library, so it is no virtual table pointer";
        return false;
    }
    for (std::size_t i = 0; i < slots; ++i) {
        const void* target = image_view::word(bytes(vtable) + i * wordSize);
        if (!image.readable(target, 1)) {
            why = "slot " + std::to_string(i) +
                  " of its virtual table does not point into the library";
            return false;
        }
    }
    return true;
}

} // namespace vesk_host
