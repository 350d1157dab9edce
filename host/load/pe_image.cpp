#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace vesk_host {

namespace {

// Bounds on what one file may make the reader do; real DLLs stay far below them.
const std::size_t maxImportedDlls = 4096;
const std::size_t maxEntriesPerDll = 65536;
const std::size_t maxExportedNames = 1 << 20;
const std::size_t maxNameLength = 4096;
const std::uint32_t maxSections = 96; // the loader's own limit

struct section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class reader {
public:
    reader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }
    bool u16(std::uint64_t offset, std::uint16_t& value) const {
        if (!has(offset, 2)) {
            return false;
        }
        value = static_cast<std::uint16_t>(m_data[offset] | m_data[offset + 1] << 8);
        return true;
    }
    bool u32(std::uint64_t offset, std::uint32_t& value) const {
        if (!has(offset, 4)) {
            return false;
        }
        value = 0;
        for (int i = 3; i >= 0; --i) {
            value = value << 8 | m_data[offset + static_cast<unsigned>(i)];
        }
        return true;
    }
    bool u64(std::uint64_t offset, std::uint64_t& value) const {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (!u32(offset, low) || !u32(offset + 4, high)) {
            return false;
        }
        value = static_cast<std::uint64_t>(high) << 32 | low;
        return true;
    }

    // The file offset of an address relative to the image, and how many bytes from there
    // belong to the same section in the file.
    bool offsetOf(std::uint32_t rva, std::uint64_t& offset, std::uint64_t& room) const {
        for (const section& s : m_sections) {
            if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
                offset = static_cast<std::uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
                room = s.rawSize - (rva - s.virtualAddress);
                return has(offset, 1);
            }
        }
        if (rva < m_headersSize) {
            offset = rva;
            room = m_headersSize - rva;
            return has(offset, 1);
        }
        return false;
    }
    bool u16At(std::uint32_t rva, std::uint16_t& value) const {
        std::uint64_t offset = 0;
        std::uint64_t room = 0;
        return offsetOf(rva, offset, room) && room >= 2 && u16(offset, value);
    }
    bool u32At(std::uint32_t rva, std::uint32_t& value) const {
        std::uint64_t offset = 0;
        std::uint64_t room = 0;
        return offsetOf(rva, offset, room) && room >= 4 && u32(offset, value);
    }
    bool u64At(std::uint32_t rva, std::uint64_t& value) const {
        std::uint64_t offset = 0;
        std::uint64_t room = 0;
        return offsetOf(rva, offset, room) && room >= 8 && u64(offset, value);
    }
    // A NUL-terminated name inside one section of the file.
    bool stringAt(std::uint32_t rva, std::string& text) const {
        std::uint64_t offset = 0;
        std::uint64_t room = 0;
        if (!offsetOf(rva, offset, room)) {
            return false;
        }
        text.clear();
        for (std::uint64_t i = 0; i < room && i < maxNameLength && has(offset + i, 1); ++i) {
            char c = static_cast<char>(m_data[offset + i]);
            if (c == 0) {
                return true;
            }
            text += c;
        }
        return false;
    }

    std::vector<section> m_sections;
    std::uint32_t m_headersSize = 0;

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

pe_image invalid(const std::string& why) {
    pe_image image;
    image.error = why;
    return image;
}

bool readImports(const reader& r, std::uint32_t directory, bool is64, pe_image& image) {
    for (std::size_t i = 0;; ++i) {
        if (i == maxImportedDlls) {
            image.error = "more than " + std::to_string(maxImportedDlls) + " imported DLLs";
            return false;
        }
        const std::uint32_t at = directory + static_cast<std::uint32_t>(i * 20);
        if (at < directory) {
            image.error = "the import directory runs past the image";
            return false;
        }
        std::uint32_t lookup = 0;
        std::uint32_t nameRva = 0;
        std::uint32_t thunks = 0;
        if (!r.u32At(at, lookup) || !r.u32At(at + 12, nameRva) || !r.u32At(at + 16, thunks)) {
            image.error = "the import directory runs past the file";
            return false;
        }
        if (lookup == 0 && nameRva == 0 && thunks == 0) {
            return true; // the all-zero entry ends the list
        }
        pe_imported_dll dll;
        if (!r.stringAt(nameRva, dll.name) || dll.name.empty()) {
            image.error = "an imported DLL's name lies outside the file";
            return false;
        }
        // The lookup table names the entries; old linkers leave it out and only the address
        // table (which the loader overwrites in memory, not in the file) has them.
        std::uint32_t table = lookup != 0 ? lookup : thunks;
        const std::uint32_t width = is64 ? 8 : 4;
        for (std::size_t n = 0;; ++n) {
            if (n == maxEntriesPerDll) {
                image.error = dll.name + ": more than " + std::to_string(maxEntriesPerDll) +
                              " imported entries";
                return false;
            }
            const std::uint32_t slot = table + static_cast<std::uint32_t>(n) * width;
            if (slot < table) {
                image.error = dll.name + ": the import table runs past the image";
                return false;
            }
            std::uint64_t word = 0;
            bool ordinal = false;
            if (is64) {
                if (!r.u64At(slot, word)) {
                    image.error = dll.name + ": the import table runs past the file";
                    return false;
                }
                ordinal = (word >> 63) != 0;
            } else {
                std::uint32_t small = 0;
                if (!r.u32At(slot, small)) {
                    image.error = dll.name + ": the import table runs past the file";
                    return false;
                }
                word = small;
                ordinal = (small >> 31) != 0;
            }
            if (word == 0) {
                break;
            }
            pe_imported_entry entry;
            if (ordinal) {
                entry.byOrdinal = true;
                entry.ordinal = static_cast<std::uint16_t>(word & 0xffff);
            } else if ((word >> 31) != 0 ||
                       !r.stringAt(static_cast<std::uint32_t>(word) + 2, entry.name) ||
                       entry.name.empty()) {
                image.error = dll.name + ": an imported name lies outside the file";
                return false;
            }
            dll.entries.push_back(entry);
        }
        image.imports.push_back(dll);
    }
}

bool readExports(const reader& r, std::uint32_t directory, pe_image& image) {
    std::uint32_t nameRva = 0;
    std::uint32_t base = 0;
    std::uint32_t functions = 0;
    std::uint32_t names = 0;
    std::uint32_t functionTable = 0;
    std::uint32_t nameTable = 0;
    std::uint32_t ordinalTable = 0;
    if (!r.u32At(directory + 12, nameRva) || !r.u32At(directory + 16, base) ||
        !r.u32At(directory + 20, functions) || !r.u32At(directory + 24, names) ||
        !r.u32At(directory + 28, functionTable) || !r.u32At(directory + 32, nameTable) ||
        !r.u32At(directory + 36, ordinalTable)) {
        image.error = "the export directory runs past the file";
        return false;
    }
    if (functions > maxExportedNames || names > maxExportedNames) {
        image.error =
            "an export table of more than " + std::to_string(maxExportedNames) + " entries";
        return false;
    }
    r.stringAt(nameRva, image.exportName); // only for messages; a bad one stays empty
    for (std::uint32_t i = 0; i < functions; ++i) {
        std::uint32_t address = 0;
        if (!r.u32At(functionTable + i * 4, address)) {
            image.error = "the export address table runs past the file";
            return false;
        }
        if (address != 0) {
            image.exportedOrdinals.insert(base + i);
        }
    }
    for (std::uint32_t i = 0; i < names; ++i) {
        std::uint32_t nameAt = 0;
        std::uint16_t index = 0;
        std::string name;
        if (!r.u32At(nameTable + i * 4, nameAt) || !r.u16At(ordinalTable + i * 2, index) ||
            !r.stringAt(nameAt, name)) {
            image.error = "the export name table runs past the file";
            return false;
        }
        if (index < functions) {
            image.exportedNames.insert(name);
        }
    }
    return true;
}

} // namespace

std::string pe_imported_entry::label() const {
    return byOrdinal ? "#" + std::to_string(ordinal) : name;
}

bool pe_image::exports(const pe_imported_entry& entry) const {
    return entry.byOrdinal ? exportedOrdinals.count(entry.ordinal) != 0
                           : exportedNames.count(entry.name) != 0;
}

std::string peMachineName(std::uint16_t machine) {
    switch (machine) {
    case 0x14c:
        return "x86";
    case 0x8664:
        return "x64";
    case 0xaa64:
        return "arm64";
    default:
        return "machine " + std::to_string(machine);
    }
}

pe_image readPeImage(const unsigned char* data, std::size_t size) {
    reader r(data, size);
    std::uint16_t magic = 0;
    std::uint32_t headerAt = 0;
    if (!r.u16(0, magic) || magic != 0x5a4d || !r.u32(0x3c, headerAt)) {
        return invalid("not a Windows executable (no MZ header)");
    }
    std::uint32_t signature = 0;
    if (!r.u32(headerAt, signature) || signature != 0x4550) {
        return invalid("not a Windows executable (no PE header)");
    }
    pe_image image;
    std::uint16_t sectionCount = 0;
    std::uint16_t optionalSize = 0;
    std::uint16_t optionalMagic = 0;
    const std::uint64_t coff = static_cast<std::uint64_t>(headerAt) + 4;
    const std::uint64_t optional = coff + 20;
    if (!r.u16(coff, image.machine) || !r.u16(coff + 2, sectionCount) ||
        !r.u16(coff + 16, optionalSize) || !r.u16(optional, optionalMagic)) {
        return invalid("the PE header runs past the end of the file");
    }
    if (optionalMagic != 0x10b && optionalMagic != 0x20b) {
        return invalid("unknown optional header (magic " + std::to_string(optionalMagic) + ")");
    }
    image.is64 = optionalMagic == 0x20b;
    if (sectionCount > maxSections) {
        return invalid("more than " + std::to_string(maxSections) + " sections");
    }
    // Where the data directories start, and how many the header says it holds.
    const std::uint64_t directories = optional + (image.is64 ? 112 : 96);
    std::uint32_t directoryCount = 0;
    if (!r.u32(optional + 60, r.m_headersSize) ||
        !r.u32(optional + (image.is64 ? 108 : 92), directoryCount)) {
        return invalid("the optional header runs past the end of the file");
    }
    const std::uint64_t sectionTable = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = sectionTable + static_cast<std::uint64_t>(i) * 40;
        section s{};
        if (!r.u32(at + 12, s.virtualAddress) || !r.u32(at + 16, s.rawSize) ||
            !r.u32(at + 20, s.rawOffset)) {
            return invalid("the section table runs past the end of the file");
        }
        r.m_sections.push_back(s);
    }
    std::uint32_t exportDirectory = 0;
    std::uint32_t importDirectory = 0;
    if (directoryCount > 0 && !r.u32(directories, exportDirectory)) {
        return invalid("the data directories run past the end of the file");
    }
    if (directoryCount > 1 && !r.u32(directories + 8, importDirectory)) {
        return invalid("the data directories run past the end of the file");
    }
    if (directories + std::uint64_t{8} * (directoryCount < 16 ? directoryCount : 16) >
        sectionTable) {
        return invalid("the data directories overlap the section table");
    }
    if (importDirectory != 0 && !readImports(r, importDirectory, image.is64, image)) {
        return image;
    }
    if (exportDirectory != 0 && !readExports(r, exportDirectory, image)) {
        image.imports.clear();
        return image;
    }
    image.valid = true;
    return image;
}

pe_image readPeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return invalid("cannot open " + path);
    }
    // A DLL of a few hundred megabytes is no script's.
    const std::streamoff limit = std::streamoff{512} << 20;
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    if (length < 0 || length > limit) {
        return invalid(path + " is unreadable or larger than 512 MB");
    }
    in.seekg(0, std::ios::beg);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (length > 0 &&
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length))) {
        return invalid("cannot read " + path);
    }
    pe_image image = readPeImage(bytes.data(), bytes.size());
    if (!image.valid) {
        image.error = path + ": " + image.error;
    }
    return image;
}

} // namespace vesk_host
