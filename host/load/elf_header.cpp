#include "elf_header.h"

#include <fstream>

namespace vesk_host {

elf_target readElfTarget(const unsigned char* data, std::size_t size) {
    elf_target t;
    // The identification (16 bytes), the file type (2) and the machine (2).
    if (data == nullptr || size < 20 || data[0] != 0x7f || data[1] != 'E' || data[2] != 'L' ||
        data[3] != 'F') {
        return t;
    }
    int bits = data[4] == 1 ? 32 : data[4] == 2 ? 64 : 0;
    bool little = data[5] == 1;
    if (bits == 0 || (data[5] != 1 && data[5] != 2)) {
        return t;
    }
    t.elf = true;
    t.bits = bits;
    t.machine = little ? static_cast<std::uint16_t>(data[18] | (data[19] << 8))
                       : static_cast<std::uint16_t>((data[18] << 8) | data[19]);
    return t;
}

elf_target readElfTargetOf(const std::string& path) {
    unsigned char header[20] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
        return elf_target();
    }
    return readElfTarget(header, sizeof header);
}

std::string elfMachineName(std::uint16_t machine, int bits) {
    switch (machine) {
    case 3:
        return "x86 (32-bit)";
    case 62:
        return bits == 32 ? "x32" : "x86-64";
    case 40:
        return "ARM (32-bit)";
    case 183:
        return "aarch64";
    case 243:
        return bits == 32 ? "RISC-V (32-bit)" : "RISC-V (64-bit)";
    case 21:
        return "PowerPC (64-bit)";
    case 22:
        return "s390";
    default:
        return "machine " + std::to_string(machine) + " (" + std::to_string(bits) + "-bit)";
    }
}

std::string architectureMismatch(const elf_target& library, const elf_target& self) {
    if (!library.elf || !self.elf ||
        (library.machine == self.machine && library.bits == self.bits)) {
        return std::string();
    }
    return "wrong architecture: the library is built for " +
           elfMachineName(library.machine, library.bits) + ", this vesk-host for " +
           elfMachineName(self.machine, self.bits);
}

} // namespace vesk_host
