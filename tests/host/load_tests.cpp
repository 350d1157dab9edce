// The loader's own parts: recognising a script object's layout, the adapter for Visual
// Studio's layout, and reading and checking a DLL's imports.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "load/elf_header.h"
#include "load/import_check.h"
#include "load/object_layout.h"
#include "load/pe_image.h"
#include "platform.h"
#include "recording_host_link.h"

namespace fs = std::filesystem;
using namespace vesk_host;

namespace {

const std::size_t word = sizeof(void*);

// A pretend library image: words and texts placed at chosen offsets of one buffer.
struct fake_image {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1024, 0);
    unsigned char* at(std::size_t offset) { return bytes.data() + offset; }
    void put(std::size_t offset, const void* value) { std::memcpy(at(offset), &value, word); }
    void put32(std::size_t offset, std::uint32_t value) { std::memcpy(at(offset), &value, 4); }
    void text(std::size_t offset, const char* value) {
        std::memcpy(at(offset), value, std::strlen(value) + 1);
    }
    image_view view() { return image_view(bytes.data(), {{bytes.data(), bytes.size()}}); }
};

// Offsets in the pretend image: the table at 512, two slots pointing at "code" at 900.
const std::size_t tableAt = 512;
const std::size_t codeAt = 900;

void slots(fake_image& image, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        image.put(tableAt + i * word, image.at(codeAt));
    }
}

// Visual Studio's complete object locator at 64, its type descriptor at 128.
void msvcLocator(fake_image& image, const char* name) {
    unsigned char* locator = image.at(64);
    unsigned char* descriptor = image.at(128);
    if (word == 8) {
        image.put32(64, 1);
        image.put32(64 + 12, 128);
        image.put32(64 + 20, 64);
    } else {
        image.put32(64, 0);
        image.put32(64 + 12,
                    static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(descriptor)));
    }
    image.text(128 + 2 * word, name);
    image.put(tableAt - word, locator);
    slots(image, 2);
}

// An Itanium typeinfo at 256 whose name is at 300.
void itaniumTypeinfo(fake_image& image, const char* name) {
    image.put(256 + word, image.at(300));
    image.text(300, name);
    image.put(tableAt - 2 * word, nullptr);
    image.put(tableAt - word, image.at(256));
    slots(image, 3);
}

TEST(ObjectLayout, RecognisesEitherLayoutAndNothingElse) {
    struct row {
        const char* what;
        void (*make)(fake_image&);
        object_abi expected;
        const char* typeName;
    };
    const row rows[] = {
        {"msvc class", [](fake_image& i) { msvcLocator(i, ".?AVviewTrail@@"); }, object_abi::msvc,
         ".?AVviewTrail@@"},
        {"msvc struct", [](fake_image& i) { msvcLocator(i, ".?AUscript@@"); }, object_abi::msvc,
         ".?AUscript@@"},
        {"itanium", [](fake_image& i) { itaniumTypeinfo(i, "9viewTrail"); }, object_abi::itanium,
         "9viewTrail"},
        {"itanium nested", [](fake_image& i) { itaniumTypeinfo(i, "N5outer6scriptE"); },
         object_abi::itanium, "N5outer6scriptE"},
        {"msvc name of another kind", [](fake_image& i) { msvcLocator(i, ".?AW4kind@@"); },
         object_abi::unknown, ""},
        {"msvc wrong signature",
         [](fake_image& i) {
             msvcLocator(i, ".?AVviewTrail@@");
             i.put32(64, 7);
         },
         object_abi::unknown, ""},
        {"msvc table not at the object's start",
         [](fake_image& i) {
             msvcLocator(i, ".?AVviewTrail@@");
             i.put32(68, 8);
         },
         object_abi::unknown, ""},
        {"msvc descriptor outside the image",
         [](fake_image& i) {
             msvcLocator(i, ".?AVviewTrail@@");
             i.put32(64 + 12, word == 8 ? 5000u : 16u);
         },
         object_abi::unknown, ""},
        {"msvc name running off the image",
         [](fake_image& i) {
             msvcLocator(i, ".?AVviewTrail@@");
             std::memset(i.at(1000), 'x', 24);
             if (word == 8) {
                 i.put32(64 + 12, static_cast<std::uint32_t>(1000 - 2 * word));
             }
         },
         word == 8 ? object_abi::unknown : object_abi::msvc, nullptr},
        {"itanium offset to top not 0",
         [](fake_image& i) {
             itaniumTypeinfo(i, "9viewTrail");
             i.put(tableAt - 2 * word, i.at(8));
         },
         object_abi::unknown, ""},
        {"itanium name not mangled", [](fake_image& i) { itaniumTypeinfo(i, "view trail"); },
         object_abi::unknown, ""},
        {"itanium empty name", [](fake_image& i) { itaniumTypeinfo(i, ""); }, object_abi::unknown,
         ""},
        {"nothing before the table (no RTTI)", [](fake_image& i) { slots(i, 2); },
         object_abi::unknown, ""},
    };
    for (const row& r : rows) {
        fake_image image;
        r.make(image);
        const layout_finding found = recogniseLayout(image.at(tableAt), image.view());
        EXPECT_EQ(found.abi, r.expected) << r.what;
        if (r.typeName != nullptr) {
            EXPECT_STREQ(found.typeName, r.typeName) << r.what;
        }
        if (r.expected == object_abi::unknown) {
            EXPECT_STRNE(found.why, "") << r.what;
        }
    }
}

TEST(ObjectLayout, ReadsNothingOutsideTheImage) {
    fake_image image;
    msvcLocator(image, ".?AVviewTrail@@");
    const image_view view = image.view();
    // Tables at the image's edges, and addresses that wrap around.
    const void* tables[] = {image.at(0),
                            image.at(word),
                            image.at(1024 - word),
                            image.at(1024),
                            nullptr,
                            reinterpret_cast<const void*>(std::uintptr_t{8}),
                            reinterpret_cast<const void*>(~std::uintptr_t{0} - 3)};
    for (const void* table : tables) {
        EXPECT_EQ(recogniseLayout(table, view).abi, object_abi::unknown) << table;
        std::string why;
        EXPECT_FALSE(slotsInImage(table, object_abi::msvc, view, why)) << table;
    }
    // A slot that points out of the library.
    image.put(tableAt + word, &view);
    std::string why;
    EXPECT_FALSE(slotsInImage(image.at(tableAt), object_abi::msvc, view, why));
    EXPECT_NE(why.find("slot 1"), std::string::npos) << why;
    EXPECT_EQ(recogniseLayout(image.at(tableAt), image_view()).abi, object_abi::unknown);
}

TEST(ObjectLayout, AbiNames) {
    object_abi abi = object_abi::unknown;
    EXPECT_TRUE(parseObjectAbi("msvc", abi));
    EXPECT_EQ(abi, object_abi::msvc);
    EXPECT_TRUE(parseObjectAbi("itanium", abi));
    EXPECT_EQ(abi, object_abi::itanium);
    EXPECT_FALSE(parseObjectAbi("MSVC", abi));
    EXPECT_FALSE(parseObjectAbi("", abi));
    EXPECT_STREQ(objectAbiName(object_abi::msvc), "msvc");
}

// The real libraries: one of this compiler's layout, one of Visual Studio's made by hand.
TEST(ScriptLibrary, UsesItsOwnLayoutDirectly) {
    script_library library(PROBE_SCRIPT);
    ASSERT_TRUE(library.loaded()) << library.error();
    recording_host_link link;
    std::string refusal;
    std::unique_ptr<vesk_client_callback> script(library.create(&link, "", &refusal));
    ASSERT_NE(script, nullptr) << refusal;
    EXPECT_EQ(library.lastLayout(), object_abi::itanium);
    char line[] = "send=PD '1'";
    script->callback(line, VESK_EVENT_PARENT);
    EXPECT_EQ(link.takeLines(), std::vector<std::string>{"PD '1'"});
}

TEST(ScriptLibrary, RefusesWhatItCannotRecogniseAndDrivesWhatItIsTold) {
    {
        script_library library(MSVC_LAYOUT_SCRIPT);
        ASSERT_TRUE(library.loaded()) << library.error();
        recording_host_link link;
        std::string refusal;
        EXPECT_EQ(library.create(&link, "", &refusal), nullptr);
        EXPECT_NE(refusal.find("never called"), std::string::npos) << refusal;
        EXPECT_NE(refusal.find("--abi"), std::string::npos) << refusal;
        EXPECT_TRUE(link.calls().empty());
    }
    script_library library(MSVC_LAYOUT_SCRIPT, object_abi::msvc);
    recording_host_link link;
    link.answer("SD 'rtr'", "3 0");
    std::string refusal;
    std::unique_ptr<vesk_client_callback> script(library.create(&link, "", &refusal));
    ASSERT_NE(script, nullptr) << refusal;
    EXPECT_EQ(library.lastLayout(), object_abi::msvc);
    char read[] = "read=SD 'rtr'";
    char* answer = script->callback(read, VESK_EVENT_PARENT);
    ASSERT_NE(answer, nullptr);
    EXPECT_STREQ(answer, "3 0");
    script->callback(answer, VESK_EVENT_RELEASE);
    EXPECT_EQ(link.takeLines(), std::vector<std::string>{"SD 'rtr'"});
    ASSERT_EQ(link.calls().size(), 2u);
    EXPECT_EQ(link.calls()[1].first, VESK_LINK_RELEASE);
    script.reset(); // slot 0, flags 1: the script frees itself (the sanitizers would see a leak)
}

// ---- The import reader ----

// A small DLL made in memory: one section holding the import and export directories.
struct dll_plan {
    bool is64 = true;
    std::uint16_t machine = 0x8664;
    std::string importFrom;               // empty: no imports
    std::vector<std::string> importNames; // by name
    std::vector<std::uint16_t> importOrdinals;
    std::string exportName;               // empty: no exports
    std::vector<std::string> exportNames; // ordinals 1.. in order
};

std::vector<unsigned char> makeDll(const dll_plan& plan) {
    const std::uint32_t sectionRva = 0x1000;
    const std::uint32_t rawAt = 0x200;
    std::vector<unsigned char> file(rawAt + 0x800, 0);
    auto u16 = [&](std::size_t at, std::uint32_t v) {
        file[at] = static_cast<unsigned char>(v);
        file[at + 1] = static_cast<unsigned char>(v >> 8);
    };
    auto u32 = [&](std::size_t at, std::uint32_t v) {
        u16(at, v & 0xffff);
        u16(at + 2, v >> 16);
    };
    auto u64 = [&](std::size_t at, std::uint64_t v) {
        u32(at, static_cast<std::uint32_t>(v));
        u32(at + 4, static_cast<std::uint32_t>(v >> 32));
    };
    // Section space handed out from the start; rva() of a file offset inside it.
    std::size_t next = rawAt;
    auto take = [&](std::size_t size) {
        std::size_t at = next;
        next += (size + 7) & ~std::size_t{7};
        return at;
    };
    auto rva = [&](std::size_t at) { return static_cast<std::uint32_t>(at - rawAt + sectionRva); };
    auto text = [&](const std::string& t) {
        std::size_t at = take(t.size() + 1);
        std::memcpy(&file[at], t.c_str(), t.size() + 1);
        return rva(at);
    };

    file[0] = 'M';
    file[1] = 'Z';
    u32(0x3c, 0x40);
    file[0x40] = 'P';
    file[0x41] = 'E';
    const std::size_t coff = 0x44;
    const std::size_t optional = coff + 20;
    const std::uint32_t optionalSize = plan.is64 ? 240 : 224;
    u16(coff, plan.machine);
    u16(coff + 2, 1);
    u16(coff + 16, optionalSize);
    u16(optional, plan.is64 ? 0x20b : 0x10b);
    u32(optional + 60, rawAt);
    u32(optional + (plan.is64 ? 108 : 92), 16);
    const std::size_t directories = optional + (plan.is64 ? 112 : 96);
    const std::size_t section = optional + optionalSize;
    u32(section + 8, 0x800);
    u32(section + 12, sectionRva);
    u32(section + 16, 0x800);
    u32(section + 20, rawAt);

    if (!plan.importFrom.empty()) {
        const std::size_t descriptors = take(40);
        const std::size_t width = plan.is64 ? 8 : 4;
        const std::size_t count = plan.importNames.size() + plan.importOrdinals.size();
        const std::size_t table = take((count + 1) * width);
        std::size_t slot = table;
        for (const std::string& name : plan.importNames) {
            std::uint32_t hint = text("  " + name); // two bytes of hint, then the name
            plan.is64 ? u64(slot, hint) : u32(slot, hint);
            slot += width;
        }
        for (std::uint16_t ordinal : plan.importOrdinals) {
            plan.is64 ? u64(slot, std::uint64_t{1} << 63 | ordinal)
                      : u32(slot, std::uint32_t{1} << 31 | ordinal);
            slot += width;
        }
        u32(descriptors, rva(table));
        u32(descriptors + 12, text(plan.importFrom));
        u32(descriptors + 16, rva(table));
        u32(directories + 8, rva(descriptors));
    }
    if (!plan.exportName.empty()) {
        const std::size_t directory = take(40);
        const std::uint32_t n = static_cast<std::uint32_t>(plan.exportNames.size());
        const std::size_t functions = take(4 * n + 4);
        const std::size_t names = take(4 * n + 4);
        const std::size_t ordinals = take(2 * n + 2);
        for (std::uint32_t i = 0; i < n; ++i) {
            u32(functions + 4 * i, sectionRva); // any non-zero address
            u32(names + 4 * i, text(plan.exportNames[i]));
            u16(ordinals + 2 * i, i);
        }
        u32(directory + 12, text(plan.exportName));
        u32(directory + 16, 1);
        u32(directory + 20, n);
        u32(directory + 24, n);
        u32(directory + 28, rva(functions));
        u32(directory + 32, rva(names));
        u32(directory + 36, rva(ordinals));
        u32(directories, rva(directory));
    }
    return file;
}

dll_plan scriptSpec(bool is64) {
    dll_plan s;
    s.is64 = is64;
    s.machine = is64 ? 0x8664 : 0x14c;
    s.importFrom = "Dep.DLL";
    s.importNames = {"??0vesk_string@@QAE@XZ", "split"};
    s.importOrdinals = {2};
    s.exportName = "script.dll";
    s.exportNames = {"load_vesk_client_script"};
    return s;
}

TEST(PeImage, ReadsImportsAndExports) {
    for (bool is64 : {true, false}) {
        const std::vector<unsigned char> file = makeDll(scriptSpec(is64));
        const pe_image image = readPeImage(file.data(), file.size());
        ASSERT_TRUE(image.valid) << image.error;
        EXPECT_EQ(image.is64, is64);
        EXPECT_EQ(peMachineName(image.machine), is64 ? "x64" : "x86");
        ASSERT_EQ(image.imports.size(), 1u);
        EXPECT_EQ(image.imports[0].name, "Dep.DLL");
        ASSERT_EQ(image.imports[0].entries.size(), 3u);
        EXPECT_EQ(image.imports[0].entries[0].label(), "??0vesk_string@@QAE@XZ");
        EXPECT_EQ(image.imports[0].entries[2].label(), "#2");
        EXPECT_EQ(image.exportName, "script.dll");
        pe_imported_entry entry;
        entry.name = "load_vesk_client_script";
        EXPECT_TRUE(image.exports(entry));
        entry.byOrdinal = true;
        entry.ordinal = 1;
        EXPECT_TRUE(image.exports(entry));
        entry.ordinal = 2;
        EXPECT_FALSE(image.exports(entry));
    }
}

// Every truncation and many corruptions: each either reads or says why, and never reads past
// the buffer (each input lives in a buffer of its exact size, for the sanitizers).
TEST(PeImage, BadInputNeverReadsPastTheBuffer) {
    const std::vector<unsigned char> whole = makeDll(scriptSpec(true));
    std::size_t valid = 0;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        std::unique_ptr<unsigned char[]> part(new unsigned char[length + 1]);
        std::memcpy(part.get(), whole.data(), length);
        const pe_image image = readPeImage(part.get(), length);
        valid += image.valid ? 1 : 0;
        EXPECT_TRUE(image.valid || !image.error.empty()) << length;
    }
    EXPECT_GE(valid, 1u);
    EXPECT_FALSE(readPeImage(whole.data(), 0x100).valid); // headers only: sections are past it
    const unsigned char values[] = {0x00, 0x01, 0x7f, 0x80, 0xff};
    for (std::size_t at = 0; at < 0x200 + 0x180; ++at) {
        for (unsigned char value : values) {
            std::vector<unsigned char> bad = whole;
            bad[at] = value;
            std::unique_ptr<unsigned char[]> exact(new unsigned char[bad.size()]);
            std::memcpy(exact.get(), bad.data(), bad.size());
            const pe_image image = readPeImage(exact.get(), bad.size());
            EXPECT_TRUE(image.valid || !image.error.empty()) << at;
        }
    }
    const char* const garbage[] = {"", "MZ", "MZ\0\0", "not a dll at all"};
    for (const char* g : garbage) {
        EXPECT_FALSE(readPeImage(reinterpret_cast<const unsigned char*>(g), std::strlen(g)).valid);
    }
    EXPECT_FALSE(readPeFile("no such file.dll").valid);
}

// The DLLs the Windows builds make, when this tree has them.
TEST(PeImage, ReadsTheWindowsBuilds) {
    const char* const builds[] = {
        "build/windows-x64/bin/viewTrail.dll", "build/windows-x86/bin/viewTrail.dll",
        "build/windows-msvc-x64/bin/viewTrail.dll", "build/windows-msvc-x86/bin/viewTrail.dll"};
    int read = 0;
    for (const char* build : builds) {
        const fs::path path = fs::path(VESK_SOURCE_DIR) / build;
        if (!fs::exists(path)) {
            continue;
        }
        ++read;
        const pe_image image = readPeFile(path.string());
        ASSERT_TRUE(image.valid) << image.error;
        bool stringdb = false;
        for (const pe_imported_dll& dll : image.imports) {
            stringdb = stringdb || dll.name == "vesk_stringdb.dll";
        }
        EXPECT_TRUE(stringdb) << build;
        EXPECT_EQ(image.exportedNames.count("load_vesk_client_script"), 1u) << build;
    }
    if (read == 0) {
        GTEST_SKIP() << "no Windows build in this tree";
    }
}

// vesk-host never loads a module of its own under a name that scripts import.
TEST(PeImage, HostImportsNoStandIn) {
#if defined(_WIN32)
    const pe_image image = readPeFile(VESK_HOST_PROGRAM);
    ASSERT_TRUE(image.valid) << image.error;
    for (const pe_imported_dll& dll : image.imports) {
        EXPECT_NE(dll.name, "vesk_stringdb.dll");
        EXPECT_NE(dll.name, "vesk_configdb.dll");
    }
#else
    GTEST_SKIP() << "a Windows question";
#endif
}

class ImportCheck : public ::testing::Test {
protected:
    ImportCheck() {
        folder = fs::temp_directory_path() /
                 ("vesk_import_check_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(folder);
    }
    ~ImportCheck() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    fs::path folder;
};

TEST_F(ImportCheck, NamesEachMissingDllAndEntry) {
    dll_plan dep;
    dep.exportName = "dep.dll";
    dep.exportNames = {"split"};
    dll_plan wrongWidth = dep;
    wrongWidth.is64 = false;
    wrongWidth.machine = 0x14c;
    dll_plan complete = dep;
    complete.exportNames = {"??0vesk_string@@QAE@XZ", "split"};
    struct row {
        const char* what;
        const dll_plan* next; // null: no dep.dll in the folder
        system_dlls::where system;
        std::vector<std::string> faults;
    };
    const row rows[] = {
        {"all there", &complete, system_dlls::where::missing, {}},
        {"entries missing",
         &dep,
         system_dlls::where::missing,
         {"script.dll imports ??0vesk_string@@QAE@XZ from Dep.DLL, which does not export it",
          "script.dll imports #2 from Dep.DLL, which does not export it"}},
        {"other width",
         &wrongWidth,
         system_dlls::where::missing,
         {"script.dll (x64) imports Dep.DLL, which is built for x86"}},
        {"on the system", nullptr, system_dlls::where::foundUnchecked, {}},
        {"nowhere",
         nullptr,
         system_dlls::where::missing,
         {"script.dll imports Dep.DLL, which is neither in " + folder.string() +
          " nor on the system"}},
    };
    for (const row& r : rows) {
        std::error_code ignored;
        fs::remove(folder / "dep.dll", ignored);
        const std::string script = write("script.dll", makeDll(scriptSpec(true)));
        if (r.next != nullptr) {
            write("dep.dll", makeDll(*r.next));
        }
        system_dlls system;
        system.find = [&](const std::string&, std::string& from) {
            from = "the system";
            return r.system;
        };
        EXPECT_EQ(checkImports(script, system), r.faults) << r.what;
    }
}

TEST_F(ImportCheck, FollowsTheFolderAndNamesAModuleAlreadyLoaded) {
    dll_plan dep;
    dep.exportName = "dep.dll";
    dep.exportNames = {"??0vesk_string@@QAE@XZ", "split"};
    dep.importFrom = "kernel32.dll";
    dep.importNames = {"GetTickCount"};
    const std::string script = write("script.dll", makeDll(scriptSpec(true)));
    write("dep.dll", makeDll(dep));
    system_dlls system;
    system.find = [](const std::string&, std::string& from) {
        from = "loaded from C:\\windows\\system32\\kernel32.dll";
        return system_dlls::where::found;
    };
    system.exports = [](const std::string&, const pe_imported_entry& e) {
        return e.name != "GetTickCount";
    };
    EXPECT_EQ(checkImports(script, system),
              std::vector<std::string>{"dep.dll imports GetTickCount from kernel32.dll (loaded "
                                       "from C:\\windows\\system32\\kernel32.dll), which does "
                                       "not export it"});
    system.shadowed = [](const std::string&, const std::string&, std::string& from) {
        from = "C:\\host\\Dep.dll";
        return true;
    };
    EXPECT_EQ(checkImports(script, system),
              std::vector<std::string>{"script.dll imports Dep.DLL, but a Dep.DLL is already "
                                       "loaded from C:\\host\\Dep.dll, and the script would be "
                                       "bound to that one"});
    EXPECT_EQ(checkImports((folder / "absent.dll").string(), system).size(), 1u);
    EXPECT_EQ(checkImports(script, system, 0x14c),
              std::vector<std::string>{"script.dll is built for x64, and this vesk-host for "
                                       "x86: run it in a vesk-host of the same width"});
}

} // namespace

TEST(ElfHeader, NamesTheArchitectureOfALibraryBuiltForAnother) {
    // The first 20 bytes of an ELF header: magic, class, data order, version, padding,
    // type (shared object), machine.
    auto header = [](unsigned char bits, unsigned char order, std::uint16_t machine) {
        std::vector<unsigned char> h = {0x7f, 'E', 'L', 'F', bits, order, 1, 0, 0, 0,
                                        0,    0,   0,   0,   0,    0,     3, 0, 0, 0};
        const auto low = static_cast<unsigned char>(machine & 0xff);
        const auto high = static_cast<unsigned char>(machine >> 8);
        h[18] = order == 1 ? low : high;
        h[19] = order == 1 ? high : low;
        return h;
    };
    std::vector<unsigned char> cut = header(2, 1, 183);
    cut.pop_back();
    const elf_target x86_64 = readElfTarget(header(2, 1, 62).data(), 20);
    ASSERT_TRUE(x86_64.elf);
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        const char* said; // empty: loads beside x86-64, or cannot tell
    } rows[] = {
        {"the same", header(2, 1, 62), ""},
        {"aarch64", header(2, 1, 183),
         "wrong architecture: the library is built for aarch64, this vesk-host for x86-64"},
        {"32-bit x86", header(1, 1, 3),
         "wrong architecture: the library is built for x86 (32-bit), this vesk-host for x86-64"},
        {"big-endian 64-bit PowerPC", header(2, 2, 21),
         "wrong architecture: the library is built for PowerPC (64-bit), this vesk-host for "
         "x86-64"},
        {"x32: the same machine, another word size", header(1, 1, 62),
         "wrong architecture: the library is built for x32, this vesk-host for x86-64"},
        {"an unknown machine", header(2, 1, 9999), "built for machine 9999 (64-bit)"},
        {"no ELF file", {'M', 'Z', 0x90, 0}, ""},
        {"cut short", cut, ""},
        {"an unknown class", header(3, 1, 183), ""},
    };
    for (const auto& row : rows) {
        std::string said =
            architectureMismatch(readElfTarget(row.bytes.data(), row.bytes.size()), x86_64);
        if (std::string(row.said).empty()) {
            EXPECT_EQ(said, "") << row.what;
        } else {
            EXPECT_NE(said.find(row.said), std::string::npos) << row.what << ": " << said;
        }
    }
    EXPECT_FALSE(readElfTarget(nullptr, 0).elf);
}

#if !defined(_WIN32) && defined(__linux__)
// The loader itself says "No such file" of an ELF library for another processor.
TEST(ScriptLibrary, ALibraryForAnotherProcessorIsCalledThat) {
    std::ifstream in(PROBE_SCRIPT, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 20u);
    const elf_target own = readElfTarget(reinterpret_cast<const unsigned char*>(bytes.data()), 20);
    ASSERT_TRUE(own.elf);
    // aarch64, or x86-64 where this runs on aarch64; little-endian either way here.
    const std::uint16_t other = own.machine == 183 ? 62 : 183;
    bytes[18] = static_cast<char>(other & 0xff);
    bytes[19] = static_cast<char>(other >> 8);
    fs::path copy = fs::temp_directory_path() / "vesk_other_processor.so";
    {
        std::ofstream out(copy, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    {
        script_library library(copy.string());
        EXPECT_FALSE(library.loaded());
        EXPECT_NE(library.error().find("wrong architecture: the library is built for " +
                                       elfMachineName(other, own.bits)),
                  std::string::npos)
            << library.error();
    }
    fs::remove(copy);
}
#endif
