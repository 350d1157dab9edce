#include "failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {

long long failAt = 0; // 0: off
failing_allocator::mode failMode = failing_allocator::mode::once;
long long countedSoFar = 0;
long long injectedSoFar = 0;
long long liveBlocks = 0;
int hostDepth = 0;

// Null when this allocation is to fail or malloc has nothing.
void* allocate(std::size_t size) noexcept {
    if (failAt != 0 && hostDepth == 0) {
        ++countedSoFar;
        if (countedSoFar == failAt ||
            (failMode == failing_allocator::mode::always && countedSoFar > failAt)) {
            ++injectedSoFar;
            return nullptr;
        }
    }
    void* block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr) {
        ++liveBlocks;
    }
    return block;
}

void release(void* block) noexcept {
    if (block != nullptr) {
        --liveBlocks;
        std::free(block);
    }
}

void* allocateOrThrow(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

namespace failing_allocator {

void arm(long long at, mode how) {
    failAt = at;
    failMode = how;
    countedSoFar = 0;
    injectedSoFar = 0;
}

void disarm() {
    failAt = 0;
}

long long counted() {
    return countedSoFar;
}

long long injected() {
    return injectedSoFar;
}

long long live() {
    return liveBlocks;
}

host_scope::host_scope() {
    ++hostDepth;
}

host_scope::~host_scope() {
    --hostDepth;
}

} // namespace failing_allocator

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}

void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* block) noexcept {
    release(block);
}

void operator delete[](void* block) noexcept {
    release(block);
}

void operator delete(void* block, std::size_t) noexcept {
    release(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    release(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    release(block);
}
