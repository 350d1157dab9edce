// The stack buffer check of /GS, as Visual Studio's runtime supplies it: one cookie per
// module, set from values that differ from run to run before any of the module's code runs,
// and a check that ends the process at once when a function's copy was overwritten.
#include <intrin.h>
#include <stdint.h>

extern "C" {
// kernel32, declared here so that no Windows header is needed.
__declspec(dllimport) void __stdcall GetSystemTimeAsFileTime(uint64_t* time);
__declspec(dllimport) unsigned long __stdcall GetCurrentProcessId();
__declspec(dllimport) unsigned long __stdcall GetCurrentThreadId();
__declspec(dllimport) int __stdcall QueryPerformanceCounter(int64_t* counter);

#if defined(_M_IX86)
uintptr_t __security_cookie = 0xBB40E64Eu;
#else
uintptr_t __security_cookie = 0x00002B992DDFA232u;
#endif

void vesk_security_init_cookie() {
    uint64_t time = 0;
    int64_t counter = 0;
    GetSystemTimeAsFileTime(&time);
    QueryPerformanceCounter(&counter);
    uint64_t mixed = time ^ static_cast<uint64_t>(counter) ^
                     (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetCurrentThreadId() ^
                     reinterpret_cast<uintptr_t>(&mixed);
    uintptr_t cookie = static_cast<uintptr_t>(mixed ^ (mixed >> 32));
    // The compiler's checks assume the upper 16 bits of a 64-bit cookie are clear.
    if (sizeof(uintptr_t) == 8) {
        cookie &= static_cast<uintptr_t>(0x0000FFFFFFFFFFFFull);
    }
    if (cookie == 0) {
        cookie = 0x4711;
    }
    __security_cookie = cookie;
}

// The stack is corrupt: nothing may run, not even an exception handler.
void __fastcall __security_check_cookie(uintptr_t cookie) {
    if (cookie != __security_cookie) {
        __fastfail(2); // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
    }
}
}
