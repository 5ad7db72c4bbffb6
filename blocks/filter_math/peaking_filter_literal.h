// The peaking filter's recursion transcribed literally, for benchmarks that
// time the library beside it and first check that both agree bit for bit.
#ifndef AMI_BLOCKS_FILTER_MATH_PEAKING_FILTER_LITERAL_H
#define AMI_BLOCKS_FILTER_MATH_PEAKING_FILTER_LITERAL_H

#include <cstdint>

#include "Kestrom_AMI_Model.h"

// The recursion exactly as written: shift the output history, start the sum
// at b0 x, add (bj x(t-j) + aj y(t-j)) for j = P .. 1 while shifting the
// input history, then store the input.
inline void literal_apply(const double *input, int32_t sample_count, PeakingFilter filt,
                          int32_t index, int32_t reset, double *output) {
    if (filt.filter_count == 0) {
        for (int32_t t = 0; t < sample_count; ++t) {
            output[t] = input[t];
        }
        return;
    }
    const int32_t s = index < filt.filter_count ? index : 0;
    const int32_t p = filt.coef_count - 1;
    const double *b = filt.numer[s];
    const double *a = filt.denom[s];
    if (reset != 0) {
        for (int32_t j = 0; j < filt.coef_count; ++j) {
            filt.peak_in[j] = 0.0;
            filt.peak_out[j] = 0.0;
        }
    }
    for (int32_t t = 0; t < sample_count; ++t) {
        const double x = input[t];
        if (p <= 0) {
            filt.peak_out[0] = b[0] * x;
        } else {
            for (int32_t j = p - 1; j >= 0; --j) {
                filt.peak_out[j + 1] = filt.peak_out[j];
            }
            filt.peak_out[0] = b[0] * x;
            for (int32_t j = p; j >= 1; --j) {
                filt.peak_out[0] =
                    (b[j] * filt.peak_in[j - 1] + a[j - 1] * filt.peak_out[j]) + filt.peak_out[0];
                filt.peak_in[j] = filt.peak_in[j - 1];
            }
        }
        filt.peak_in[0] = x;
        output[t] = filt.peak_out[0];
    }
    if (reset != 0) {
        for (int32_t j = 0; j < filt.coef_count; ++j) {
            filt.peak_in[j] = 0.0;
            filt.peak_out[j] = 0.0;
        }
    }
}

#endif  // AMI_BLOCKS_FILTER_MATH_PEAKING_FILTER_LITERAL_H
