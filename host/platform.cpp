#include "platform.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <io.h>

#include "vesk_winapi.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vesk_host {

namespace {
const char factoryName[] = VESK_SCRIPT_FACTORY_NAME;
} // namespace

#if defined(_WIN32)

script_library::script_library(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        m_error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    m_handle = module;
    FARPROC entry = GetProcAddress(module, factoryName);
    if (entry == nullptr) {
        m_error = path + " does not export " + factoryName;
        return;
    }
    // Through the generic function type, which the compiler accepts between function types.
    m_factory = reinterpret_cast<vesk_script_factory>(reinterpret_cast<void (*)()>(entry));
}

script_library::~script_library() {
    if (m_handle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(m_handle));
    }
}

void setEnvironment(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}

bool inputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

#else

script_library::script_library(const std::string& path) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = dlerror();
        m_error = why != nullptr ? why : "cannot load " + path;
        return;
    }
    void* entry = dlsym(m_handle, factoryName);
    if (entry == nullptr) {
        m_error = path + " does not export " + factoryName;
        return;
    }
    m_factory = reinterpret_cast<vesk_script_factory>(entry);
}

script_library::~script_library() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

void setEnvironment(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}

bool inputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

#endif

} // namespace vesk_host
