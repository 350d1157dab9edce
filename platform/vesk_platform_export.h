// Export macros of the stand-in libraries. Each library defines its *_BUILD macro while it is
// compiled; everyone else sees the import side.
#pragma once

#if defined(_WIN32)
#define VESK_DLL_EXPORT __declspec(dllexport)
#define VESK_DLL_IMPORT __declspec(dllimport)
#else
#define VESK_DLL_EXPORT __attribute__((visibility("default")))
#define VESK_DLL_IMPORT __attribute__((visibility("default")))
#endif

#if defined(VESK_STRINGDB_BUILD)
#define VESK_STRINGDB_API VESK_DLL_EXPORT
#else
#define VESK_STRINGDB_API VESK_DLL_IMPORT
#endif

#if defined(VESK_CONFIGDB_BUILD)
#define VESK_CONFIGDB_API VESK_DLL_EXPORT
#else
#define VESK_CONFIGDB_API VESK_DLL_IMPORT
#endif

#if defined(VESK_WINAPI_BUILD)
#define VESK_WINAPI_API VESK_DLL_EXPORT
#else
#define VESK_WINAPI_API VESK_DLL_IMPORT
#endif
