// The entry point of each DLL, as Visual Studio's runtime supplies it: runs the module's
// static initializers when the DLL is loaded and the destructors they registered when it is
// unloaded, so that they run while the module's code is still mapped.
#include <corecrt_startup.h>

namespace {
typedef void(__cdecl* initializer)();

// The linker sorts .CRT$XC* by name: everything the compiler places in .CRT$XCU lies between.
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
__declspec(allocate(".CRT$XCA")) const initializer firstInitializer = nullptr;
__declspec(allocate(".CRT$XCZ")) const initializer lastInitializer = nullptr;

_onexit_table_t moduleExitTable;

const unsigned long processDetach = 0;
const unsigned long processAttach = 1;
} // namespace

extern "C" void vesk_security_init_cookie();

// Static destructors of this module, registered by its initializers. The C runtime's own
// atexit would run them at process exit, after the DLL may have been unloaded.
extern "C" int __cdecl atexit(void(__cdecl* function)()) {
    return _register_onexit_function(&moduleExitTable, reinterpret_cast<_onexit_t>(function));
}

extern "C" int __stdcall _DllMainCRTStartup(void*, unsigned long reason, void*) {
    if (reason == processAttach) {
        vesk_security_init_cookie();
        if (_initialize_onexit_table(&moduleExitTable) != 0) {
            return 0;
        }
        for (const initializer* next = &firstInitializer + 1; next < &lastInitializer; ++next) {
            if (*next != nullptr) {
                (*next)();
            }
        }
    } else if (reason == processDetach) {
        _execute_onexit_table(&moduleExitTable);
    }
    return 1;
}
