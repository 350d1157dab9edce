/* Wine's stdlib.h with _dupenv_s, declared as the universal C runtime declares it
 * (ucrtbase.dll exports it). */
#include_next <stdlib.h>

#ifndef VESK_MSVC_STDLIB_H
#define VESK_MSVC_STDLIB_H
#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP errno_t __cdecl _dupenv_s(char** buffer, size_t* count, const char* name);
#ifdef __cplusplus
}
#endif
#endif
