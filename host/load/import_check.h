// Whether Windows can load a script DLL: every DLL it imports found, every imported name or
// ordinal exported. Checked before loading, so that a missing piece is named instead of Wine
// or Windows aborting the process on an unresolved import.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pe_image.h"

namespace vesk_host {

// How a DLL outside the script's folder is found. `exports` is called for it only when `found`
// says it is there and it can say what it exports.
struct system_dlls {
    enum class where { missing, found, foundUnchecked };
    // Where the loader would take the DLL from, and a description for messages ("loaded from
    // PATH", "in the system folder").
    std::function<where(const std::string& dll, std::string& from)> find;
    // Whether the found DLL exports the entry.
    std::function<bool(const std::string& dll, const pe_imported_entry& entry)> exports;
    // Whether a module of this name is already in the process from another file than
    // `localPath`: the loader would bind the script to that one. Null: never.
    std::function<bool(const std::string& dll, const std::string& localPath, std::string& from)>
        shadowed;
};

// Checks the script DLL's imports, and those of every DLL it takes from its own folder, one
// message per fault: "viewTrail.dll imports NAME from X.dll, which does not export it",
// "viewTrail.dll imports X.dll, which is neither next to it nor on the system". Empty when
// all is well. Names compare without regard to case, as Windows compares them.
std::vector<std::string> checkImports(const std::string& scriptPath, const system_dlls& system);

// The file in `folder` whose name equals `name` without regard to case; empty when none.
std::string findInFolder(const std::string& folder, const std::string& name);

} // namespace vesk_host
