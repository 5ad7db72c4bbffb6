// Loading an IBIS-AMI model shared object and finding its entry points.
#ifndef AMISIM_MODEL_LIBRARY_H
#define AMISIM_MODEL_LIBRARY_H

#include <string>

#include "tools/amisim/models/elf_class.h"

namespace amisim {

using AmiInitFunction = long (*)(double *impulse_matrix, long row_size, long aggressors,
                                 double sample_interval, double bit_time, char *AMI_parameters_in,
                                 char **AMI_parameters_out, void **AMI_memory_handle, char **msg);
using AmiGetWaveFunction = long (*)(double *wave, long wave_size, double *clock_times,
                                    char **AMI_parameters_out, void *AMI_memory);
using AmiCloseFunction = long (*)(void *AMI_memory);

// What an ELF file is built for, read from its header.
ElfClass inspect_elf(const std::string &path, std::string &error);

class ModelLibrary {
  public:
    ModelLibrary() = default;
    ~ModelLibrary();
    ModelLibrary(const ModelLibrary &) = delete;
    ModelLibrary &operator=(const ModelLibrary &) = delete;

    // Loads the shared object and resolves AMI_Init and AMI_Close (required)
    // and AMI_GetWave (optional, as the standard allows). False with a
    // message on failure.
    bool open(const std::string &path, std::string &error);

    AmiInitFunction init = nullptr;
    AmiGetWaveFunction get_wave = nullptr;
    AmiCloseFunction close = nullptr;

  private:
    void *handle_ = nullptr;
};

// The folder this program was started from.
std::string own_directory();

}  // namespace amisim

#endif  // AMISIM_MODEL_LIBRARY_H
