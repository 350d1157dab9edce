// The few Windows calls the system makes: debugger output and the private-profile (INI) reader.
//
// On Windows these are kernel32's own. Elsewhere the vesk_winapi library supplies them with the
// Windows behaviour that callers rely on, plus vesk_set_debug_sink to capture debugger output.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else

#include "vesk_platform_export.h"

typedef unsigned long DWORD;
typedef const char* LPCSTR;
typedef char* LPSTR;

#ifdef __cplusplus
extern "C" {
#endif

// Hands the text, unchanged, to the debug sink. Nothing is added, not even a line end.
VESK_WINAPI_API void OutputDebugStringA(LPCSTR text);

// Receives every text given to OutputDebugStringA. `text` is valid only during the call.
typedef void (*vesk_debug_sink)(const char* text, void* context);
// Installs a sink; a null sink restores the default, which writes to standard error.
VESK_WINAPI_API void vesk_set_debug_sink(vesk_debug_sink sink, void* context);

// The private-profile calls read the file afresh on every call. `buffer` is caller-owned and
// holds `size` characters; nothing is written past it, and a null buffer or a size of 0 gets
// nothing written and a result of 0. Backslashes in `path` are directory separators. When a
// section name occurs twice in a file, the later section is ignored altogether.

// Copies the value of `key` in `section` of the INI file at `path` into `buffer`, or `fallback`
// (null is the empty text; trailing blanks dropped) when the file, section or key is missing.
// Section and key names are compared without regard to ASCII case; the first matching section
// and key win; blanks around keys and values are trimmed and a value in matching double quotes
// loses them. The result is cut to size - 1 characters and always terminated. Returns the
// number of characters copied, without the terminator.
// A null key copies every key of the section, and a null section every section name, as a
// list of NUL-terminated texts ended by a second NUL; an empty name cannot be listed and is
// left out. A missing file or section gives the empty list. A list that does not fit is cut,
// still ends in two NULs, and gives size - 2.
VESK_WINAPI_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback,
                                               LPSTR buffer, DWORD size, LPCSTR path);

// Copies every line of `section` as a "key=value" text (the value as written, quotes kept), in
// file order, each NUL-terminated, with a second NUL after the last; a line without '=' is
// copied as it stands. Comments and blank lines are left out. A missing file or section gives
// the empty list. When the buffer is too small the list is cut and size - 2 is returned.
VESK_WINAPI_API DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size,
                                                LPCSTR path);

// Copies every section name, in file order, as GetPrivateProfileSectionA copies lines.
VESK_WINAPI_API DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR path);

// The calling thread's last error, as on Windows. The private-profile calls set
// ERROR_NOT_ENOUGH_MEMORY when memory ran out: what they copied then is the default or the
// empty list, which must not be taken for the file's content. Otherwise they leave it alone.
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
VESK_WINAPI_API DWORD GetLastError(void);
VESK_WINAPI_API void SetLastError(DWORD code);

#ifdef __cplusplus
}
#endif

#endif
