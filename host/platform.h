// The calls that differ between Windows and other systems: loading a script library, setting
// the environment, telling a terminal from a file, and (from the platform layer) capturing
// debugger output. Everything else in the host is plain C++.
#pragma once

#include <string>

#include "debug_output.h"

class vesk_client_callback;

namespace vesk_host {

// The one export every script library has; __cdecl on Windows, as it is exported.
#if defined(_WIN32)
using script_factory = vesk_client_callback*(__cdecl*)(vesk_client_callback* link,
                                                       const char* startup);
#else
using script_factory = vesk_client_callback* (*)(vesk_client_callback* link, const char* startup);
#endif

// A script library, loaded as the panel host loads it: every symbol resolved at load time, so
// a library with missing pieces is refused at once instead of failing halfway through a run.
class script_library {
public:
    explicit script_library(const std::string& path);
    ~script_library();
    script_library(const script_library&) = delete;
    script_library& operator=(const script_library&) = delete;

    // Null when the library could not be loaded or does not export the factory; error() says
    // why.
    script_factory factory() const { return m_factory; }
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    script_factory m_factory = nullptr;
    std::string m_error;
};

void setEnvironment(const char* name, const std::string& value);

// Debugger output is captured the way the tests capture it.
using vesk_platform::captureDebugOutput;
using vesk_platform::debug_sink;

bool inputIsTerminal();

} // namespace vesk_host
