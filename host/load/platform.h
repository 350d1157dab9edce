// The calls that differ between Windows and other systems: loading a script library, setting
// the environment, telling a terminal from a file, and (from the platform layer) capturing
// debugger output. Everything else in the host is plain C++.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "debug_output.h"
#include "load/foreign_object.h"
#include "load/object_layout.h"
#include "vesk_script_export.h"

namespace vesk_host {

// A script library, loaded as the panel host loads it: every symbol resolved at load time, so
// a library with missing pieces is refused at once instead of failing halfway through a run.
// On Windows the library's own folder is searched first for the DLLs it imports, and every
// import is checked before loading, so that a missing DLL or entry is named.
class script_library {
public:
    // `layout`: the object layout to assume for an object without RTTI (--abi); unknown: the
    // layout must be recognised.
    explicit script_library(const std::string& path, object_abi layout = object_abi::unknown);
    ~script_library();
    script_library(const script_library&) = delete;
    script_library& operator=(const script_library&) = delete;

    // Null when the library could not be loaded or does not export the factory; error() says
    // why.
    vesk_script_factory factory() const { return m_factory; }
    bool loaded() const { return m_factory != nullptr; }
    const std::string& error() const { return m_error; }

    // A script made by the library's factory on `link` (host-owned, outlives the script; the
    // script is handed a link that serves either object layout and forwards to it). Null when
    // the library was not loaded, the factory gave null, or the object is refused: then
    // `refusal` (when given) says why. A refused object is never called and never freed,
    // since freeing it would mean guessing its destructor. The caller owns the result and
    // deletes it through the virtual destructor; an object of Visual Studio's layout comes
    // wrapped in an adapter. Exceptions from the factory pass through.
    vesk_client_callback* create(vesk_client_callback* link, const char* startup,
                                 std::string* refusal = nullptr) const;
    // The layout of the last object create() accepted.
    object_abi lastLayout() const { return m_lastLayout; }

private:
    vesk_client_callback* linkFor(vesk_client_callback* link) const;

    void* m_handle = nullptr;
    vesk_script_factory m_factory = nullptr;
    std::string m_error;
    object_abi m_forced;
    image_view m_image;
    mutable object_abi m_lastLayout = object_abi::unknown;
    mutable std::map<vesk_client_callback*, std::unique_ptr<two_layout_link>> m_links;
};

void setEnvironment(const char* name, const std::string& value);

// Debugger output is captured the way the tests capture it.
using vesk_platform::captureDebugOutput;
using vesk_platform::debug_sink;

bool inputIsTerminal();

} // namespace vesk_host
