/* The script library's contract with the panel host, in one place: the export, its calling
 * convention, the factory's type, and the kinds that cross the boundary in both directions.
 *
 * Plain C as well as C++, so that a host written in C (as the ABI tests are) reads the same
 * names as the scripts do. */
#ifndef VESK_SCRIPT_EXPORT_H
#define VESK_SCRIPT_EXPORT_H

/* What the host hands to the script object's callback(argument, kind). */
enum vesk_event_kind {
    VESK_EVENT_REVERTIVE = 1,           /* host revertive structure */
    VESK_EVENT_BUTTON = 2,              /* host button structure */
    VESK_EVENT_PARENT = 3,              /* NUL-terminated text from the parent panel */
    VESK_EVENT_TIMER = 4,               /* the timer id itself, carried in the pointer */
    VESK_EVENT_RELEASE = 5,             /* text the script returned for a parent event */
    VESK_EVENT_SECONDARY_REVERTIVE = 6, /* host revertive structure */
    VESK_EVENT_HOST = 7                 /* host structure the script never reads */
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

/* Every script library defines this once, as
 *     VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
 *     load_vesk_client_script(vesk_client_callback* link, const char* startup) { ... }
 * `link`: host-owned, may be null, must outlive the script. `startup`: host-owned, copied.
 * Returns the new script, owned by the host, or null; nothing may be thrown out of it. */
VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup);

#endif
