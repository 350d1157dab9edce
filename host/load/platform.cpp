#include "platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <vector>

#include "load/elf_header.h"
#include "load/import_check.h"

#if defined(_WIN32)
#include <io.h>

#include "vesk_winapi.h"
#else
#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vesk_host {

namespace {
const char factoryName[] = VESK_SCRIPT_FACTORY_NAME;

bool objectWordReadable(const void* object);

// A refused object stays allocated for the life of the process, reachable from here, so that a
// leak checker sees a decision rather than a loss.
void keepRefused(const void* object) {
    static std::vector<const void*>* const kept = new std::vector<const void*>();
    try {
        kept->push_back(object);
    } catch (const std::bad_alloc&) {
        // Then it is simply not listed.
    }
}

// A thread of a script may still hold the link it was handed after its library is unloaded
// (one that stays loaded, say): the forwarding links stay for the life of the process.
void keepLinks(std::map<vesk_client_callback*, std::unique_ptr<two_layout_link>>& links) {
    static std::vector<std::unique_ptr<two_layout_link>>* const kept =
        new std::vector<std::unique_ptr<two_layout_link>>();
    for (auto& link : links) {
        try {
            kept->push_back(std::move(link.second));
        } catch (const std::bad_alloc&) {
            (void)link.second.release(); // kept all the same, unlisted
        }
    }
    links.clear();
}

std::string refused(const std::string& why) {
    return "its object is refused and was never called (it is left allocated: freeing it "
           "would mean guessing its destructor): " +
           why;
}
} // namespace

vesk_client_callback* script_library::linkFor(vesk_client_callback* link) const {
    if (link == nullptr) {
        return nullptr;
    }
    std::unique_ptr<two_layout_link>& shared = m_links[link];
    if (!shared) {
        shared.reset(new two_layout_link(link));
    }
    // The script sees an object whose first word is a virtual table pointer, as in any
    // object of the interface.
    return reinterpret_cast<vesk_client_callback*>(shared.get());
}

vesk_client_callback* script_library::create(vesk_client_callback* link, const char* startup,
                                             std::string* refusal) const {
    if (m_factory == nullptr) {
        return nullptr;
    }
    vesk_client_callback* handed = nullptr;
    try {
        handed = linkFor(link);
    } catch (const std::bad_alloc&) {
        return nullptr; // as a factory that ran out of memory does
    }
    vesk_client_callback* made = m_factory(handed, startup);
    if (made == nullptr) {
        return nullptr;
    }
    std::string why;
    if (!objectWordReadable(made)) {
        why = "its address is not readable memory";
    } else {
        const void* table = image_view::word(made);
        const layout_finding found = recogniseLayout(table, m_image);
        object_abi layout = found.abi;
        if (m_forced != object_abi::unknown && layout != object_abi::unknown &&
            layout != m_forced) {
            why = std::string("--abi ") + objectAbiName(m_forced) +
                  " was given, but it is in the " + objectAbiName(layout) + " layout (type " +
                  found.typeName + ")";
        } else if (m_forced != object_abi::unknown) {
            layout = m_forced;
        } else if (layout == object_abi::unknown) {
            why = std::string(found.why) +
                  "; --abi msvc or --abi itanium names the layout of such a library";
        }
        if (why.empty() && slotsInImage(table, layout, m_image, why)) {
            m_lastLayout = layout;
            if (layout == object_abi::itanium) {
                return made;
            }
            try {
                return new msvc_object(made);
            } catch (const std::bad_alloc&) {
                why = "no memory for its adapter";
            }
        }
    }
    keepRefused(made);
    if (refusal != nullptr) {
        *refusal = refused(why);
    }
    return nullptr;
}

#if defined(_WIN32)

namespace {

// Whether the memory is committed and readable now.
bool readableNow(const void* at, std::size_t size) {
    const char* byte = static_cast<const char*>(at);
    const char* end = byte + size;
    while (byte < end) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(byte, &info, sizeof info) == 0 || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || info.Protect == 0) {
            return false;
        }
        byte = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

bool objectWordReadable(const void* object) {
    return reinterpret_cast<std::uintptr_t>(object) % alignof(void*) == 0 &&
           readableNow(object, sizeof(void*));
}

// The module's image, from its headers in memory; empty when they do not make sense.
image_view moduleImage(HMODULE module) {
    const unsigned char* base = reinterpret_cast<const unsigned char*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!readableNow(dos, sizeof *dos) || dos->e_magic != IMAGE_DOS_SIGNATURE ||
        dos->e_lfanew < 0 || dos->e_lfanew > 4096) {
        return image_view();
    }
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (!readableNow(nt, sizeof *nt) || nt->Signature != IMAGE_NT_SIGNATURE) {
        return image_view();
    }
    return image_view(base, {{base, nt->OptionalHeader.SizeOfImage}}, readableNow);
}

std::string moduleFile(HMODULE module) {
    char name[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
    return std::string(name, length);
}

// What the Windows loader would take a DLL from, outside the script's folder: a module already
// in the process (then its exports are asked), or a file on the search path (then only found).
system_dlls windowsDlls() {
    system_dlls dlls;
    dlls.find = [](const std::string& dll, std::string& from) {
        if (HMODULE loaded = GetModuleHandleA(dll.c_str())) {
            from = "loaded from " + moduleFile(loaded);
            return system_dlls::where::found;
        }
        char path[MAX_PATH + 1] = {};
        if (SearchPathA(nullptr, dll.c_str(), nullptr, MAX_PATH, path, nullptr) != 0) {
            from = path;
            return system_dlls::where::foundUnchecked;
        }
        return system_dlls::where::missing;
    };
    dlls.exports = [](const std::string& dll, const pe_imported_entry& entry) {
        HMODULE loaded = GetModuleHandleA(dll.c_str());
        if (loaded == nullptr) {
            return true;
        }
        return GetProcAddress(loaded, entry.byOrdinal ? MAKEINTRESOURCEA(entry.ordinal)
                                                      : entry.name.c_str()) != nullptr;
    };
    dlls.shadowed = [](const std::string& dll, const std::string& localPath, std::string& from) {
        HMODULE loaded = GetModuleHandleA(dll.c_str());
        if (loaded == nullptr) {
            return false;
        }
        from = moduleFile(loaded);
        std::error_code failed;
        return !std::filesystem::equivalent(from, localPath, failed);
    };
    return dlls;
}

} // namespace

script_library::script_library(const std::string& path, object_abi layout) : m_forced(layout) {
    // A full path with backslashes: only then does the loader search the library's own folder
    // first for what it imports.
    std::error_code failed;
    std::string full = std::filesystem::absolute(path, failed).string();
    if (failed || !std::filesystem::is_regular_file(full, failed)) {
        m_error = "cannot load " + path + ": no such file";
        return;
    }
    for (char& c : full) {
        c = c == '/' ? '\\' : c;
    }
    const std::uint16_t machine = sizeof(void*) == 8 ? 0x8664 : 0x14c;
    std::vector<std::string> faults = checkImports(full, windowsDlls(), machine);
    if (!faults.empty()) {
        // A DLL of the other ABI fails on every entry: the first few say enough.
        const std::size_t shown = 12;
        m_error = "cannot load " + path + ":";
        for (std::size_t i = 0; i < faults.size() && i < shown; ++i) {
            m_error += "\n  " + faults[i];
        }
        if (faults.size() > shown) {
            m_error += "\n  and " + std::to_string(faults.size() - shown) + " more";
        }
        return;
    }
    HMODULE module = LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
    m_image = moduleImage(module);
    // Through the generic function type, which the compiler accepts between function types.
    m_factory = reinterpret_cast<vesk_script_factory>(reinterpret_cast<void (*)()>(entry));
}

script_library::~script_library() {
    keepLinks(m_links);
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

namespace {

// The object is heap memory; mapped is what can be asked of it without reading it.
bool objectWordReadable(const void* object) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(object);
    if (address == 0 || address % alignof(void*) != 0) {
        return false;
    }
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) {
        return false;
    }
    const std::uintptr_t page = address - address % static_cast<std::uintptr_t>(pageSize);
    unsigned char resident = 0;
    // One page: an aligned word never straddles two.
    return mincore(reinterpret_cast<void*>(page), 1, &resident) == 0;
}

struct image_search {
    const void* inside;
    image_view found;
};

// The readable loaded segments of the library that holds `search->inside`.
int findImage(dl_phdr_info* info, std::size_t, void* data) {
    image_search* search = static_cast<image_search*>(data);
    const std::uintptr_t wanted = reinterpret_cast<std::uintptr_t>(search->inside);
    bool holds = false;
    std::vector<image_view::range> ranges;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) {
            continue;
        }
        const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        if (wanted >= begin && wanted - begin < segment.p_memsz) {
            holds = true;
        }
        if ((segment.p_flags & PF_R) != 0) {
            ranges.push_back({reinterpret_cast<const unsigned char*>(begin), segment.p_memsz});
        }
    }
    if (!holds) {
        return 0;
    }
    search->found =
        image_view(reinterpret_cast<const unsigned char*>(info->dlpi_addr), std::move(ranges));
    return 1;
}

} // namespace

script_library::script_library(const std::string& path, object_abi layout) : m_forced(layout) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = dlerror();
        m_error = why != nullptr ? why : "cannot load " + path;
        // The loader says "No such file" of a library built for another processor.
        std::string wrong =
            architectureMismatch(readElfTargetOf(path), readElfTargetOf("/proc/self/exe"));
        if (!wrong.empty()) {
            m_error = path + ": " + wrong;
        }
        return;
    }
    void* entry = dlsym(m_handle, factoryName);
    if (entry == nullptr) {
        m_error = path + " does not export " + factoryName;
        return;
    }
    image_search search{entry, image_view()};
    dl_iterate_phdr(findImage, &search);
    m_image = search.found;
    m_factory = reinterpret_cast<vesk_script_factory>(entry);
}

script_library::~script_library() {
    keepLinks(m_links);
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
