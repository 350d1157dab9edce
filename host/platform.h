// The calls that differ between Windows and other systems: loading a script library, setting
// the environment, capturing debugger output and telling a terminal from a file. Everything
// else in the host is plain C++.
#pragma once

#include <string>

class vesk_client_callback;

namespace vesk_host {

// The one export every script library has.
using script_factory = vesk_client_callback* (*)(vesk_client_callback* link, const char* startup);

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

using debug_sink = void (*)(const char* text, void* context);
// Routes every debugger-output text of the process to `sink` (null: back to the default).
// Returns false where capturing is not available.
bool captureDebugOutput(debug_sink sink, void* context);

bool inputIsTerminal();

} // namespace vesk_host
