// The out-of-line part of libc++ that the component uses, for builds in the MSVC ABI where no
// libc++ library exists: operator new and delete, the standard exception classes, and the
// digits of std::to_chars. Visual Studio links its own equivalents statically into every
// module; these are linked the same way, so each DLL carries its own copy.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <intrin.h>
#include <malloc.h>
#include <new>
#include <stdexcept>

// Every module allocates from the C runtime's one heap, so a block may be freed by another
// module, as with Visual Studio's /MD runtime.
namespace {
void* allocate(std::size_t size) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    return _aligned_malloc(size != 0 ? size : 1, static_cast<std::size_t>(alignment));
}
} // namespace

void* operator new(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    void* block = allocateAligned(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return ::operator new(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}
void operator delete(void* block, std::align_val_t) noexcept {
    _aligned_free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    _aligned_free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    _aligned_free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    _aligned_free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(block);
}

const std::nothrow_t std::nothrow{};

std::exception::~exception() noexcept {}
const char* std::exception::what() const noexcept {
    return "std::exception";
}
std::bad_alloc::bad_alloc() noexcept {}
std::bad_alloc::~bad_alloc() noexcept {}
const char* std::bad_alloc::what() const noexcept {
    return "std::bad_alloc";
}
std::bad_array_new_length::bad_array_new_length() noexcept {}
std::bad_array_new_length::~bad_array_new_length() noexcept {}
const char* std::bad_array_new_length::what() const noexcept {
    return "bad_array_new_length";
}

// The message of a logic_error: one counted copy shared by the copies of the exception, since
// copying an exception must not fail. Without memory for it the message is empty, as with
// Visual Studio's runtime.
namespace {
struct message_head {
    volatile long count;
};
const char noMessage[] = "";

message_head* headOf(const char* text) {
    return reinterpret_cast<message_head*>(const_cast<char*>(text)) - 1;
}
} // namespace

bool std::__libcpp_refstring::__uses_refcount() const {
    return __imp_ != noMessage;
}
std::__libcpp_refstring::__libcpp_refstring(const char* message) : __imp_(noMessage) {
    const std::size_t length = std::strlen(message);
    void* block = std::malloc(sizeof(message_head) + length + 1);
    if (block != nullptr) {
        message_head* head = static_cast<message_head*>(block);
        head->count = 1;
        char* text = reinterpret_cast<char*>(head + 1);
        std::memcpy(text, message, length + 1);
        __imp_ = text;
    }
}
std::__libcpp_refstring::__libcpp_refstring(const __libcpp_refstring& other) noexcept
    : __imp_(other.__imp_) {
    if (__uses_refcount()) {
        _InterlockedIncrement(&headOf(__imp_)->count);
    }
}
std::__libcpp_refstring&
std::__libcpp_refstring::operator=(const __libcpp_refstring& other) noexcept {
    const char* previous = __imp_;
    const bool previousCounted = __uses_refcount();
    __imp_ = other.__imp_;
    if (__uses_refcount()) {
        _InterlockedIncrement(&headOf(__imp_)->count);
    }
    if (previousCounted && _InterlockedDecrement(&headOf(previous)->count) == 0) {
        std::free(headOf(previous));
    }
    return *this;
}
std::__libcpp_refstring::~__libcpp_refstring() {
    if (__uses_refcount() && _InterlockedDecrement(&headOf(__imp_)->count) == 0) {
        std::free(headOf(__imp_));
    }
}

std::logic_error::logic_error(const char* message) : __imp_(message) {}
std::logic_error::logic_error(const logic_error& other) noexcept
    : exception(other), __imp_(other.__imp_) {}
std::logic_error& std::logic_error::operator=(const logic_error& other) noexcept {
    __imp_ = other.__imp_;
    return *this;
}
std::logic_error::~logic_error() noexcept {}
const char* std::logic_error::what() const noexcept {
    return __imp_.c_str();
}
std::length_error::~length_error() noexcept {}
std::out_of_range::~out_of_range() noexcept {}

namespace {
template <class Unsigned> char* decimal(Unsigned value, char* out) noexcept {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}
} // namespace

// 64-bit division is a runtime call on x86 (__aulldiv); subtracting powers of ten needs none.
char* std::__itoa::__u64toa(std::uint64_t value, char* buffer) noexcept {
    if (value <= 0xFFFFFFFFu) {
        return decimal(static_cast<std::uint32_t>(value), buffer);
    }
    static const std::uint64_t powers[] = {10000000000000000000ull,
                                           1000000000000000000ull,
                                           100000000000000000ull,
                                           10000000000000000ull,
                                           1000000000000000ull,
                                           100000000000000ull,
                                           10000000000000ull,
                                           1000000000000ull,
                                           100000000000ull,
                                           10000000000ull,
                                           1000000000ull,
                                           100000000ull,
                                           10000000ull,
                                           1000000ull,
                                           100000ull,
                                           10000ull,
                                           1000ull,
                                           100ull,
                                           10ull,
                                           1ull};
    bool started = false;
    for (std::uint64_t power : powers) {
        char digit = '0';
        while (value >= power) {
            value -= power;
            ++digit;
        }
        if (started || digit != '0') {
            *buffer++ = digit;
            started = true;
        }
    }
    return buffer;
}
char* std::__itoa::__u32toa(std::uint32_t value, char* buffer) noexcept {
    return decimal(value, buffer);
}

// Type descriptors point at type_info's virtual table. Visual Studio's vcruntime140.dll
// exports it; Wine's does not, so this stand-in serves where no import library supplies the
// name. Exceptions are matched by the descriptors' names, never through this table, and the
// component calls no virtual function of type_info, so its one slot is never reached.
extern "C" void __cdecl vesk_type_info_slot() {
    std::abort();
}
extern "C" void(__cdecl* const vesk_type_info_vftable[1])() = {&vesk_type_info_slot};
#if defined(_M_IX86)
#pragma comment(linker, "/alternatename:??_7type_info@@6B@=_vesk_type_info_vftable")
#else
#pragma comment(linker, "/alternatename:??_7type_info@@6B@=vesk_type_info_vftable")
#endif
