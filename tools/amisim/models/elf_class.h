// What an ELF file is built for, read from the first bytes of its header:
// the stand-in chooses a model's host by it, and the host checks the model
// with it before loading.
#ifndef AMISIM_ELF_CLASS_H
#define AMISIM_ELF_CLASS_H

#include <elf.h>

#include <cstddef>
#include <cstring>

namespace amisim {

enum class ElfClass { kNotElf, k32, k64, kOtherMachine };

// The bytes of the header classify_elf reads (through e_machine).
inline constexpr std::size_t kElfHeaderBytes = 20;

// The class of the first length bytes of a file; machine gets e_machine.
inline ElfClass classify_elf(const unsigned char *header, std::size_t length, unsigned &machine) {
    if (length < kElfHeaderBytes || std::memcmp(header, ELFMAG, SELFMAG) != 0) {
        return ElfClass::kNotElf;
    }
    machine = header[18] | (header[19] << 8);  // little-endian e_machine
    if (header[EI_CLASS] == ELFCLASS32 && machine == EM_386) {
        return ElfClass::k32;
    }
    if (header[EI_CLASS] == ELFCLASS64 && machine == EM_X86_64) {
        return ElfClass::k64;
    }
    return ElfClass::kOtherMachine;
}

}  // namespace amisim

#endif  // AMISIM_ELF_CLASS_H
