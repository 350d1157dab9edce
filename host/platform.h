// The calls that differ between Windows and other systems: loading a script library, setting
// the environment, telling a terminal from a file, and (from the platform layer) capturing
// debugger output. Everything else in the host is plain C++.
#pragma once

#include <string>

#include "debug_output.h"
#include "vesk_script_export.h"

namespace vesk_host {

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
    vesk_script_factory factory() const { return m_factory; }
    bool loaded() const { return m_factory != nullptr; }
    const std::string& error() const { return m_error; }

    // A script made by the library's factory, null when the library was not loaded. The caller
    // owns it and deletes it through the virtual destructor.
    vesk_client_callback* create(vesk_client_callback* link, const char* startup) const {
        return m_factory != nullptr ? m_factory(link, startup) : nullptr;
    }

private:
    void* m_handle = nullptr;
    vesk_script_factory m_factory = nullptr;
    std::string m_error;
};

void setEnvironment(const char* name, const std::string& value);

// Debugger output is captured the way the tests capture it.
using vesk_platform::captureDebugOutput;
using vesk_platform::debug_sink;

bool inputIsTerminal();

} // namespace vesk_host
