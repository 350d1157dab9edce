#include "script_library.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

script_library::script_library(const std::string& path) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    m_handle = reinterpret_cast<void*>(module);
    if (module == nullptr) {
        m_error = "LoadLibrary failed for " + path + ": error " + std::to_string(GetLastError());
        return;
    }
    m_factory = reinterpret_cast<factory>(
        reinterpret_cast<void*>(GetProcAddress(module, "load_vesk_client_script")));
#else
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        m_error = dlerror();
        return;
    }
    m_factory = reinterpret_cast<factory>(dlsym(m_handle, "load_vesk_client_script"));
#endif
    if (m_factory == nullptr) {
        m_error = "no load_vesk_client_script in " + path;
    }
}

script_library::~script_library() {
    if (m_handle == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
#else
    dlclose(m_handle);
#endif
}
