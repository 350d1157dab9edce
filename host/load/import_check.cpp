#include "import_check.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

namespace vesk_host {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Names the loader resolves itself, without a file of that name.
bool apiSet(const std::string& dll) {
    const std::string name = lower(dll);
    return name.compare(0, 7, "api-ms-") == 0 || name.compare(0, 7, "ext-ms-") == 0;
}

} // namespace

std::string findInFolder(const std::string& folder, const std::string& name) {
    std::error_code failed;
    const std::string wanted = lower(name);
    // A name with a folder in it is no DLL name the loader looks up by folder.
    if (name.find_first_of("/\\:") != std::string::npos) {
        return std::string();
    }
    for (fs::directory_iterator it(folder.empty() ? "." : folder, failed), end;
         !failed && it != end; it.increment(failed)) {
        if (lower(it->path().filename().string()) == wanted) {
            return it->path().string();
        }
    }
    return std::string();
}

std::vector<std::string> checkImports(const std::string& scriptPath, const system_dlls& system) {
    std::vector<std::string> faults;
    const std::string folder = fs::path(scriptPath).parent_path().string();
    // DLLs from the script's folder, read in turn; each file once.
    std::deque<std::string> toRead{scriptPath};
    std::set<std::string> seen{lower(fs::path(scriptPath).filename().string())};
    while (!toRead.empty()) {
        const std::string path = toRead.front();
        toRead.pop_front();
        const std::string who = fs::path(path).filename().string();
        const pe_image image = readPeFile(path);
        if (!image.valid) {
            faults.push_back(image.error);
            continue;
        }
        for (const pe_imported_dll& dll : image.imports) {
            const std::string local = findInFolder(folder, dll.name);
            std::string from;
            if (!local.empty() && system.shadowed && system.shadowed(dll.name, local, from)) {
                faults.push_back(who + " imports " + dll.name + ", but a " + dll.name +
                                 " is already loaded from " + from +
                                 ", and the script would be bound to that one");
                continue;
            }
            if (!local.empty()) {
                const pe_image next = readPeFile(local);
                if (!next.valid) {
                    faults.push_back(who + " imports " + dll.name + ": " + next.error);
                    continue;
                }
                if (next.machine != image.machine) {
                    faults.push_back(who + " (" + peMachineName(image.machine) + ") imports " +
                                     dll.name + ", which is built for " +
                                     peMachineName(next.machine));
                    continue;
                }
                for (const pe_imported_entry& entry : dll.entries) {
                    if (!next.exports(entry)) {
                        faults.push_back(who + " imports " + entry.label() + " from " + dll.name +
                                         ", which does not export it");
                    }
                }
                if (seen.insert(lower(dll.name)).second) {
                    toRead.push_back(local);
                }
                continue;
            }
            if (apiSet(dll.name)) {
                continue;
            }
            const system_dlls::where where =
                system.find ? system.find(dll.name, from) : system_dlls::where::missing;
            if (where == system_dlls::where::missing) {
                faults.push_back(who + " imports " + dll.name + ", which is neither in " +
                                 (folder.empty() ? std::string(".") : folder) +
                                 " nor on the system");
                continue;
            }
            if (where == system_dlls::where::found && system.exports) {
                for (const pe_imported_entry& entry : dll.entries) {
                    if (!system.exports(dll.name, entry)) {
                        faults.push_back(who + " imports " + entry.label() + " from " + dll.name +
                                         " (" + from + "), which does not export it");
                    }
                }
            }
        }
    }
    return faults;
}

} // namespace vesk_host
