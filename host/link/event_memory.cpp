#include "event_memory.h"

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define VESK_HOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_HOST_ASAN 1
#endif
#endif
#if defined(VESK_HOST_ASAN)
#include <sanitizer/asan_interface.h>
#endif
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VESK_HOST_VALGRIND 1
#endif

namespace vesk_host {

namespace {

// Enough events for a kept record to be read at the next press or in the storm after it.
const std::size_t retiredKept = 64;
// Pointers made of it lead nowhere on any common platform; numbers made of it stand out.
const unsigned char poison = 0xA5;

} // namespace

event_memory::~event_memory() {
    for (const retired& r : m_retired) {
        release(r.block, r.size);
    }
}

void event_memory::retire(void* block, std::size_t size) {
    std::memset(block, poison, size);
#if defined(VESK_HOST_ASAN)
    ASAN_POISON_MEMORY_REGION(block, size);
#endif
#if defined(VESK_HOST_VALGRIND)
    VALGRIND_MAKE_MEM_NOACCESS(block, size);
#endif
    m_retired.push_back({block, size});
    if (m_retired.size() > retiredKept) {
        retired oldest = m_retired.front();
        m_retired.pop_front();
        release(oldest.block, oldest.size);
    }
}

void event_memory::release(void* block, std::size_t size) {
#if defined(VESK_HOST_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(block, size);
#endif
#if defined(VESK_HOST_VALGRIND)
    VALGRIND_MAKE_MEM_UNDEFINED(block, size);
#endif
    (void)size;
    ::operator delete(block);
}

} // namespace vesk_host
