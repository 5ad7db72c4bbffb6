// Filtering a sample run of any length (the entry points take long sizes)
// with ApplyPeakingFilter, whose count is 32-bit, in chunks of at most
// max_chunk samples. The result is the result of one continuous run: the
// chunks carry the filter state between them, and a run from rest clears
// the state before the first chunk and after the last.
#ifndef AMI_MODEL_PREEMPHASIS_BLOCKS_H
#define AMI_MODEL_PREEMPHASIS_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "Kestrom_AMI_Model.h"

namespace ami {

inline void filter_in_chunks(const PeakingFilter &filter, int32_t index, double *samples,
                             long count, bool from_rest, long max_chunk = INT32_MAX) {
    if (count <= max_chunk) {
        ApplyPeakingFilter(samples, static_cast<int32_t>(count), filter, index, from_rest ? 1 : 0,
                           samples);
        return;
    }
    if (from_rest) {
        ApplyPeakingFilter(samples, 0, filter, index, 1, samples);
    }
    for (long done = 0; done < count;) {
        const long chunk = count - done < max_chunk ? count - done : max_chunk;
        double *block = samples + static_cast<std::size_t>(done);
        ApplyPeakingFilter(block, static_cast<int32_t>(chunk), filter, index, 0, block);
        done += chunk;
    }
    if (from_rest) {
        ApplyPeakingFilter(samples, 0, filter, index, 1, samples);
    }
}

}  // namespace ami

#endif  // AMI_MODEL_PREEMPHASIS_BLOCKS_H
