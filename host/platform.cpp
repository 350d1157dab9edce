#include "platform.h"

#include <cstdio>
#include <cstdlib>

#include "vesk_winapi.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vesk_host {

namespace {
const char factoryName[] = "load_vesk_client_script";
} // namespace

#if defined(_WIN32)

namespace {

// OutputDebugStringA raises a debug-print exception; a vectored handler sees it before
// anything else unless a debugger is attached, which takes it first. The ANSI form carries
// (length, text); the wide form, which OutputDebugStringW raises on newer systems, carries
// (length, wide text, length, text). Not every SDK names the codes.
const DWORD debugPrintAnsi = 0x40010006;
const DWORD debugPrintWide = 0x4001000A;

debug_sink capturedSink = nullptr;
void* capturedContext = nullptr;
PVOID captureHandler = nullptr;

LONG CALLBACK takeDebugPrint(PEXCEPTION_POINTERS info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const char* text = nullptr;
    if (record->ExceptionCode == debugPrintAnsi && record->NumberParameters >= 2) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    } else if (record->ExceptionCode == debugPrintWide && record->NumberParameters >= 4) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[3]);
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (capturedSink != nullptr) {
        try {
            capturedSink(text, capturedContext);
        } catch (...) {
            // Nothing may unwind through the system's exception dispatch.
        }
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

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
    m_factory = reinterpret_cast<script_factory>(reinterpret_cast<void (*)()>(entry));
}

script_library::~script_library() {
    if (m_handle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(m_handle));
    }
}

void setEnvironment(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}

bool captureDebugOutput(debug_sink sink, void* context) {
    if (sink == nullptr) {
        if (captureHandler != nullptr) {
            RemoveVectoredExceptionHandler(captureHandler);
            captureHandler = nullptr;
        }
        capturedSink = nullptr;
        capturedContext = nullptr;
        return true;
    }
    capturedSink = sink;
    capturedContext = context;
    if (captureHandler == nullptr) {
        captureHandler = AddVectoredExceptionHandler(1, takeDebugPrint);
    }
    return captureHandler != nullptr;
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
    m_factory = reinterpret_cast<script_factory>(entry);
}

script_library::~script_library() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

void setEnvironment(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}

bool captureDebugOutput(debug_sink sink, void* context) {
    vesk_set_debug_sink(sink, context);
    return true;
}

bool inputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

#endif

} // namespace vesk_host
