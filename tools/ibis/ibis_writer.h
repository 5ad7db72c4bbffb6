// Writes the model's IBIS file: one component with a differential pair of
// output pins, one [Model] holding the generic analog description and the
// [Algorithmic Model] that names the model's libraries and parameter file.
#ifndef IBIS_WRITER_H
#define IBIS_WRITER_H

#include <string>

#include "tools/ibis/buffer_description.h"

namespace ibis {

// The IBIS version the file follows.
inline constexpr const char *kIbisVersion = "7.1";

// What the file names. The model's name is the [Component] and [Model]
// name and the stem of every file; names keep their case, because the
// files they name are found by exact name on Linux.
struct KitNames {
    std::string model = "Halvorin_7314_Tx";
    std::string manufacturer = "Halvorin";
    std::string version;  // [File Rev]

    std::string ibis_file() const { return model + ".ibs"; }
    std::string library(int bits) const { return model + "_" + std::to_string(bits) + ".so"; }
    std::string parameter_file() const { return model + ".ami"; }
};

std::string write_ibis(const KitNames &names, const BufferDescription &buffer);

}  // namespace ibis

#endif  // IBIS_WRITER_H
