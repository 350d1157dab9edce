#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "vesk_winapi.h"

void fuzz_fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n%s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {
// Debug output would drown the fuzzer's own; each target may still install a sink of its own.
void discardDebugText(const char*, void*) {}

struct quiet_debug {
    quiet_debug() { vesk_set_debug_sink(discardDebugText, nullptr); }
} quiet;
} // namespace
