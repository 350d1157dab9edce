/* The script library's contract with the panel host, in one place: the export, its calling
 * convention, the factory's type, and the kinds that cross the boundary in both directions.
 *
 * Plain C as well as C++, so that a host written in C (as the ABI tests are) reads the same
 * names as the scripts do. */
#ifndef VESK_SCRIPT_EXPORT_H
#define VESK_SCRIPT_EXPORT_H

/* What the host hands to the script object's callback(argument, kind); vesk_event_kinds.def
 * lists each kind with its argument. */
enum vesk_event_kind {
#define VESK_EVENT_KIND(name, value, handler, words) VESK_EVENT_##name = value,
#include "vesk_event_kinds.def"
};

/* What the script hands to the host link's callback(argument, kind). No other kind is used. */
enum vesk_link_kind {
    VESK_LINK_SEND = 0,   /* one command line; returns null or host-owned reply text */
    VESK_LINK_RELEASE = 5 /* reply text from an earlier send, null included */
};

/* The script base drops an event whose handler throws, and writes one debugger-output line
 * about it: this prefix, the handler's name, ": " and the exception's what() (or "unknown
 * exception"), then a line end. Hosts look for the prefix to fail the event. */
#define VESK_HANDLER_EXCEPTION_PREFIX "vesk_script_helper: exception in "

/* The host finds the factory by its undecorated name. __cdecl is spelled out so that a
 * project-wide default (/Gz, /Gv) cannot rename the export to _name@8. */
#if defined(_WIN32)
#define VESK_SCRIPT_CALL __cdecl
#define VESK_SCRIPT_VISIBLE __declspec(dllexport)
#else
#define VESK_SCRIPT_CALL
#define VESK_SCRIPT_VISIBLE __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define VESK_SCRIPT_EXPORT extern "C" VESK_SCRIPT_VISIBLE
class vesk_client_callback;
#else
#define VESK_SCRIPT_EXPORT VESK_SCRIPT_VISIBLE
typedef struct vesk_client_callback vesk_client_callback;
#endif

/* The factory's name and type, for hosts that look it up. */
#define VESK_SCRIPT_FACTORY_NAME "load_vesk_client_script"
typedef vesk_client_callback*(VESK_SCRIPT_CALL* vesk_script_factory)(vesk_client_callback* link,
                                                                     const char* startup);

/* Every script library defines this once, with VESK_SCRIPT_ENTRY below.
 * `link`: host-owned, may be null, must outlive the script. `startup`: host-owned, copied.
 * Returns the new script, owned by the host, or null; nothing may be thrown out of it. */
VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup);

#ifdef __cplusplus
#include <new>
#include <type_traits>

/* Defines the factory for the script class `Class`, whose constructor takes (link, startup):
 *     VESK_SCRIPT_ENTRY(stopwatch);
 * A constructor that throws, or memory that runs out, gives the host null, never an exception.
 * The name, C linkage and calling convention are those declared above. */
#define VESK_SCRIPT_ENTRY(Class)                                                                   \
    VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL load_vesk_client_script(             \
        vesk_client_callback* link, const char* startup) {                                         \
        try {                                                                                      \
            return new (std::nothrow) Class(link, startup);                                        \
        } catch (...) {                                                                            \
            /* Construction failed after the memory was found; new has given it back. */           \
            return nullptr;                                                                        \
        }                                                                                          \
    }                                                                                              \
    static_assert(std::is_convertible<Class*, vesk_client_callback*>::value,                       \
                  "VESK_SCRIPT_ENTRY: the class must derive from vesk_script_helper")
#endif

#endif
