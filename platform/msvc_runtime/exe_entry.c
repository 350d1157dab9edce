/* The entry point of each program, as Visual Studio's runtime supplies it for a console
 * program: arguments and environment from the universal C runtime, then main, then exit,
 * which flushes the standard streams. */
#include <corecrt_startup.h>
#include <stdlib.h>

int __cdecl main(int argc, char** argv);
void vesk_security_init_cookie(void);

int __cdecl mainCRTStartup(void) {
    vesk_security_init_cookie();
    _set_app_type(_crt_console_app);
    if (_configure_narrow_argv(_crt_argv_unexpanded_arguments) != 0 ||
        _initialize_narrow_environment() != 0) {
        exit(255);
    }
    exit(main(__argc, __argv));
}
