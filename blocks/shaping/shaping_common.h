// Helpers the shaping blocks share: window lengths counted in whole
// samples, and the pass-through of a record that could not be set up.
#ifndef AMI_BLOCKS_SHAPING_SHAPING_COMMON_H
#define AMI_BLOCKS_SHAPING_SHAPING_COMMON_H

#include <cmath>
#include <cstdint>
#include <cstring>

namespace ami {

// The smallest whole number n >= 1 with n >= ratio when ratio > 0, and 0
// when ratio <= 0: what counting n = 1, 2, ... while ratio > n gives, found
// without counting. -1 (refused) when ratio is NaN or infinite or n would
// exceed largest, where counting would not end or would overflow.
inline int32_t whole_samples_at_least(double ratio, int32_t largest) {
    if (!std::isfinite(ratio) || ratio > static_cast<double>(largest)) {
        return -1;
    }
    if (!(ratio > 0.0)) {
        return 0;
    }
    return ratio <= 1.0 ? 1 : static_cast<int32_t>(std::ceil(ratio));
}

// Copies the samples unchanged; input and output may be the same array.
inline void pass_through(const double *input, int32_t sample_count, double *output) {
    if (sample_count > 0 && output != input) {
        std::memmove(output, input, static_cast<std::size_t>(sample_count) * sizeof(double));
    }
}

// Sets count doubles to 0.0.
inline void clear_samples(double *samples, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        samples[k] = 0.0;
    }
}

}  // namespace ami

#endif  // AMI_BLOCKS_SHAPING_SHAPING_COMMON_H
