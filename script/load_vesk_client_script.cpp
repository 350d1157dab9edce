// The component's one export: the host creates the script through it.
#include <new>

#include "viewTrail.h"

VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup) {
    try {
        return new (std::nothrow) viewTrail(link, startup);
    } catch (...) {
        // Construction failed after the memory was found; new has given it back already.
        return nullptr;
    }
}
