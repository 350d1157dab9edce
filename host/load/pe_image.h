// What a Windows DLL imports and exports, read from the file's bytes. Plain C++ over a buffer,
// with every offset checked against the buffer before it is read, so that it runs anywhere and
// a truncated or hostile file gives an error, never a read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vesk_host {

struct pe_imported_entry {
    bool byOrdinal = false;
    std::uint16_t ordinal = 0; // when byOrdinal
    std::string name;          // otherwise
    // "name" or "#ordinal", as a message shows it.
    std::string label() const;
};

struct pe_imported_dll {
    std::string name; // as the file spells it
    std::vector<pe_imported_entry> entries;
};

struct pe_image {
    bool valid = false;
    std::string error; // why not, when !valid
    std::uint16_t machine = 0;
    bool is64 = false;
    std::vector<pe_imported_dll> imports;
    // The export table: every exported name (forwarders included) and every ordinal that
    // carries an entry.
    std::string exportName;
    std::set<std::string> exportedNames;
    std::set<std::uint32_t> exportedOrdinals;

    bool exports(const pe_imported_entry& entry) const;
};

// Reads the headers, the import directory and the export directory. Delay-load imports are
// not read: they bind on first call, not at load time.
pe_image readPeImage(const unsigned char* data, std::size_t size);
// The same for a file; an unreadable file is an invalid image with the reason.
pe_image readPeFile(const std::string& path);

// "x86", "x64", "arm64", or the number.
std::string peMachineName(std::uint16_t machine);

} // namespace vesk_host
