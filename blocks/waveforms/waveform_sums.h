// The sums behind the impulse, pulse and step conversions, over any range of
// output samples, so that whole arrays and short stretches (the eye metrics'
// cursors, a step rebuilt chunk by chunk) come out of the same arithmetic.
//
// Each output sample is a direct sum whose terms are added in one fixed
// order. The loops run over output samples innermost, so consecutive
// samples are summed side by side (vectorised) while every sample still
// takes its own terms in that order: the values are those of a literal
// one-sample-at-a-time transcription, bit for bit.
#ifndef AMI_BLOCKS_WAVEFORMS_WAVEFORM_SUMS_H
#define AMI_BLOCKS_WAVEFORMS_WAVEFORM_SUMS_H

#include <cstdint>

namespace ami {

// out[i - begin] = T * (h[i] + h[i - 1] + ... + h[i - spb + 1]) for
// begin <= i < end, terms before h[0] left out, the sum started from 0 and
// taken from h[i] backwards. Reads h[max(0, begin - spb + 1) .. end - 1].
// Requires 0 <= begin <= end and spb >= 1.
void pulse_samples(double *out, const double *impulse, std::int64_t begin, std::int64_t end,
                   std::int32_t samples_per_bit, double sample_interval);

// out[k - begin] = p[k] + p[k - spb] + p[k - 2 spb] + ... for begin <= k < end,
// the sum started from 0, nearest term first: the step response rebuilt
// from a pulse response. Reads p[0 .. end - 1]. Requires 0 <= begin <= end
// and spb >= 1.
void step_samples(double *out, const double *pulse, std::int64_t begin, std::int64_t end,
                  std::int32_t samples_per_bit);

// The smoothing differentiator over a step of n samples s[0 .. n - 1]:
//   impulse[i] = (0.59 (s[c(i+1)] - s[c(i-1)]) - 0.03 (s[c(i+3)] - s[c(i-3)])) / T
// with c clamping an index to 0 .. n - 1, for begin <= i < end. The step is
// given as a window: window[k - window_begin] = s[k] for every k in
// max(0, begin - 3) .. min(n, end + 3) - 1. Requires 0 <= begin <= end <= n.
void differentiate_step(double *impulse, const double *window, std::int64_t window_begin,
                        std::int64_t n, std::int64_t begin, std::int64_t end,
                        double sample_interval);

}  // namespace ami

#endif  // AMI_BLOCKS_WAVEFORMS_WAVEFORM_SUMS_H
