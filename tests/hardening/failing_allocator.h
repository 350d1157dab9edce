// failing_allocator: this program's global operator new, which can be told to fail.
//
// Allocations are counted from arm() on; the Nth fails, and in always-failing mode every one
// after it too. Allocations made inside a host_scope are neither counted nor failed, so the
// host link of a test stays reliable while the script's own allocations fail. live() counts
// blocks not yet freed, so a run that ends where it began leaked nothing.
#pragma once

#include <cstddef>

namespace failing_allocator {

enum class mode { once, always };

void arm(long long failAt, mode how);
void disarm();
// Allocations counted since arm().
long long counted();
// Failures given since arm().
long long injected();
long long live();

class host_scope {
public:
    host_scope();
    ~host_scope();
    host_scope(const host_scope&) = delete;
    host_scope& operator=(const host_scope&) = delete;
};

} // namespace failing_allocator
