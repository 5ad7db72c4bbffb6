#include "tools/amisim/models/model_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace amisim {

std::string own_directory() {
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        return ".";
    }
    std::string self(path.data(), static_cast<std::size_t>(length));
    const auto slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

ElfClass inspect_elf(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return ElfClass::kNotElf;
    }
    unsigned char header[kElfHeaderBytes] = {};
    in.read(reinterpret_cast<char *>(header), sizeof header);
    unsigned machine = 0;
    const ElfClass found = classify_elf(header, static_cast<std::size_t>(in.gcount()), machine);
    if (found == ElfClass::kNotElf) {
        error = path + ": not a shared library (no ELF header)";
        return found;
    }
    if (found != ElfClass::kOtherMachine) {
        return found;
    }
    error = path + ": built for another processor (ELF machine " + std::to_string(machine) +
            "); only i386 and x86-64 models can be run here";
    return ElfClass::kOtherMachine;
}

ModelLibrary::~ModelLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

bool ModelLibrary::open(const std::string &path, std::string &error) {
    // A bare name would make dlopen search the library path instead.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *reason = dlerror();
        error = "cannot load the model: " + std::string(reason == nullptr ? path : reason);
        return false;
    }
    init = reinterpret_cast<AmiInitFunction>(dlsym(handle_, "AMI_Init"));
    get_wave = reinterpret_cast<AmiGetWaveFunction>(dlsym(handle_, "AMI_GetWave"));
    close = reinterpret_cast<AmiCloseFunction>(dlsym(handle_, "AMI_Close"));
    if (init == nullptr && close == nullptr && get_wave == nullptr) {
        error = path +
                " is not an IBIS-AMI model: it exports none of AMI_Init, AMI_GetWave, "
                "AMI_Close";
        return false;
    }
    if (init == nullptr) {
        error = path + ": the model has no AMI_Init entry point";
        return false;
    }
    if (close == nullptr) {
        error = path + ": the model has no AMI_Close entry point";
        return false;
    }
    return true;
}

}  // namespace amisim
