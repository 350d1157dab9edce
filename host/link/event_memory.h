// The structures behind events. Each event gets one of its own; when its handler returns, the
// structure is overwritten and given back, so that a script that keeps a record past its
// handler reads poison (a crash in a plain build, a report under AddressSanitizer or valgrind)
// instead of quietly reading the next event's data.
#pragma once

#include <cstddef>
#include <deque>
#include <new>

namespace vesk_host {

class event_memory {
public:
    event_memory() = default;
    ~event_memory();
    event_memory(const event_memory&) = delete;
    event_memory& operator=(const event_memory&) = delete;

    // A fresh copy of `value` for one event; hand it back with retire() when the call returns.
    template <class T> T* fresh(const T& value) { return new (::operator new(sizeof(T))) T(value); }
    template <class T> void retire(T* structure) {
        structure->~T();
        retire(static_cast<void*>(structure), sizeof(T));
    }

private:
    void retire(void* block, std::size_t size);
    void release(void* block, std::size_t size);

    // Given back blocks wait a while before they are freed: the allocator would otherwise
    // hand the same block to the next event, and a kept record would read that event.
    struct retired {
        void* block;
        std::size_t size;
    };
    std::deque<retired> m_retired;
};

} // namespace vesk_host
