// Scratch arrays of doubles for the waveform functions: from malloc, freed
// when they go out of scope. A count that no allocation can hold (on i386,
// anything beyond the address space) gives a null array, as a refused
// allocation does, so every caller has one failure path to document.
#ifndef AMI_BLOCKS_WAVEFORMS_SCRATCH_DOUBLES_H
#define AMI_BLOCKS_WAVEFORMS_SCRATCH_DOUBLES_H

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

namespace ami {

struct FreeWithFree {
    void operator()(double *block) const { std::free(block); }
};

using ScratchDoubles = std::unique_ptr<double[], FreeWithFree>;

// count doubles, uninitialised; null when count < 1, when count doubles do
// not fit in a size_t or when memory runs out.
inline ScratchDoubles scratch_doubles(std::int64_t count) {
    constexpr auto kMaxCount =
        static_cast<std::uint64_t>(std::numeric_limits<std::size_t>::max() / sizeof(double));
    if (count < 1 || static_cast<std::uint64_t>(count) > kMaxCount) {
        return ScratchDoubles();
    }
    return ScratchDoubles(
        static_cast<double *>(std::malloc(static_cast<std::size_t>(count) * sizeof(double))));
}

}  // namespace ami

#endif  // AMI_BLOCKS_WAVEFORMS_SCRATCH_DOUBLES_H
