// The component's one export: the host creates the script through it.
#include <new>

#include "viewTrail.h"

#if defined(_WIN32)
// __cdecl is the convention the name is exported undecorated under; spelling it out keeps a
// project-wide default (/Gz, /Gv) from renaming the export to _name@8.
#define VESK_EXPORT extern "C" __declspec(dllexport)
#define VESK_CALL __cdecl
#else
#define VESK_EXPORT extern "C" __attribute__((visibility("default")))
#define VESK_CALL
#endif

// `link`: host-owned, may be null, must outlive the script. `startup`: host-owned, copied.
// Returns the new script, owned by the host, or null when it cannot be made; nothing is sent
// to the host then, and nothing is thrown.
VESK_EXPORT vesk_client_callback* VESK_CALL load_vesk_client_script(vesk_client_callback* link,
                                                                    const char* startup) {
    try {
        return new (std::nothrow) viewTrail(link, startup);
    } catch (...) {
        // Construction failed after the memory was found; new has given it back already.
        return nullptr;
    }
}
