// Which processor an ELF file is built for, read from its header: a library of another
// architecture is then named as such, not as a file that is not there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk_host {

struct elf_target {
    bool elf = false; // false: too short, or no ELF file at all
    int bits = 0;     // 32 or 64
    std::uint16_t machine = 0;
};

elf_target readElfTarget(const unsigned char* data, std::size_t size);
// The first bytes of the file at `path`; not an ELF target when it cannot be read.
elf_target readElfTargetOf(const std::string& path);
std::string elfMachineName(std::uint16_t machine, int bits);
// "wrong architecture: ..." when `library` cannot run in a process built for `self`; empty
// when it can, or when either is not ELF.
std::string architectureMismatch(const elf_target& library, const elf_target& self);

} // namespace vesk_host
