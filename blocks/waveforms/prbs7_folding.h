// The fold of a pulse response into one PRBS7 period and the unfold back,
// shared by the folding and unfolding functions of the library.
#ifndef AMI_BLOCKS_WAVEFORMS_PRBS7_FOLDING_H
#define AMI_BLOCKS_WAVEFORMS_PRBS7_FOLDING_H

#include <cstdint>

#include "blocks/waveforms/prbs7_pattern.h"

namespace ami {

// L = 127 spb, the samples in one period of the pattern.
constexpr std::int64_t prbs7_period(std::int32_t samples_per_bit) {
    return kPrbs7Bits * static_cast<std::int64_t>(samples_per_bit);
}

// The largest samples per bit whose three-period waveform (381 spb samples)
// still has an int32 length. Beyond it the unfold's weights would overflow
// and every array would run to tens of gigabytes: the functions that need
// scratch memory treat such a request as memory that cannot be had.
inline constexpr std::int32_t kMaxPrbs7SamplesPerBit = INT32_MAX / (3 * kPrbs7Bits);

// waveform[(j + k spb) mod L] += level_k pulse[j] over the L waveform
// samples, which start at 0, for k = 0 .. 126 and then j = 0 .. n - 1.
// Requires n >= 0 and spb >= 1.
void fold_pulse(double *waveform, const double *pulse, std::int64_t n,
                std::int32_t samples_per_bit);

// The scratch doubles unfold_waveform needs for n output samples; 0 when
// samples_per_bit exceeds kMaxPrbs7SamplesPerBit (no unfold possible).
std::int64_t unfold_scratch_count(std::int64_t n, std::int32_t samples_per_bit);

// Unfolds the L waveform samples into n pulse samples (PRBS2P). Requires
// n >= 1, spb >= 1 and unfold_scratch_count(n, spb) doubles of scratch that
// overlap neither array.
void unfold_waveform(double *pulse, const double *waveform, std::int64_t n,
                     std::int32_t samples_per_bit, double *scratch);

}  // namespace ami

#endif  // AMI_BLOCKS_WAVEFORMS_PRBS7_FOLDING_H
