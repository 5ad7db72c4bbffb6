#include "blocks/waveforms/waveform_sums.h"

#include <algorithm>
#include <cstdint>

namespace ami {

namespace {

// For every k in begin .. end - 1, adds to out[k - begin] the terms
// src[k - delay - t stride] for t = 0 .. terms - 1 in increasing t, leaving
// out those before src[0]. Four terms at a time keep each partial sum in a
// register instead of storing and loading it between terms.
void add_terms(double *out, const double *src, std::int64_t begin, std::int64_t end,
               std::int64_t delay, std::int64_t stride, std::int64_t terms) {
    const std::int64_t last_delay = delay + (terms - 1) * stride;
    // From `full` on every term exists; before it, some samples have fewer.
    const std::int64_t full = std::clamp(last_delay, begin, end);
    for (std::int64_t k = std::max(begin, delay); k < full; ++k) {
        double sum = out[k - begin];
        for (std::int64_t t = 0; t < terms && k - delay - t * stride >= 0; ++t) {
            sum += src[k - delay - t * stride];
        }
        out[k - begin] = sum;
    }
    double *__restrict o = out + (full - begin);
    const std::int64_t count = end - full;
    if (terms == 4) {
        const double *s0 = src + (full - delay);
        const double *s1 = s0 - stride;
        const double *s2 = s1 - stride;
        const double *s3 = s2 - stride;
        for (std::int64_t q = 0; q < count; ++q) {
            double sum = o[q];
            sum += s0[q];
            sum += s1[q];
            sum += s2[q];
            sum += s3[q];
            o[q] = sum;
        }
        return;
    }
    for (std::int64_t t = 0; t < terms; ++t) {
        const double *__restrict in = src + (full - delay - t * stride);
        for (std::int64_t q = 0; q < count; ++q) {
            o[q] += in[q];
        }
    }
}

constexpr std::int64_t kTermsAtATime = 4;
constexpr double kNearWeight = 0.59;  // on the differences one sample away
constexpr double kFarWeight = 0.03;   // on the differences three samples away

}  // namespace

void pulse_samples(double *out, const double *impulse, std::int64_t begin, std::int64_t end,
                   std::int32_t samples_per_bit, double sample_interval) {
    std::fill(out, out + (end - begin), 0.0);
    // Terms j = 0, 1, ... of every sample i >= j: each sample receives h[i],
    // h[i - 1], ... in that order.
    for (std::int64_t j = 0; j < samples_per_bit && j < end; j += kTermsAtATime) {
        add_terms(out, impulse, begin, end, j, 1,
                  std::min<std::int64_t>(kTermsAtATime, samples_per_bit - j));
    }
    for (std::int64_t q = 0; q < end - begin; ++q) {
        out[q] = sample_interval * out[q];
    }
}

void step_samples(double *out, const double *pulse, std::int64_t begin, std::int64_t end,
                  std::int32_t samples_per_bit) {
    std::fill(out, out + (end - begin), 0.0);
    // Terms m = 0, 1, ... of every sample k >= m spb, at delays m spb.
    const std::int64_t stride = samples_per_bit;
    for (std::int64_t delay = 0; delay < end; delay += kTermsAtATime * stride) {
        add_terms(out, pulse, begin, end, delay, stride,
                  std::min<std::int64_t>(kTermsAtATime, (end - 1 - delay) / stride + 1));
    }
}

void differentiate_step(double *impulse, const double *window, std::int64_t window_begin,
                        std::int64_t n, std::int64_t begin, std::int64_t end,
                        double sample_interval) {
    const auto at = [&](std::int64_t k) {
        return window[std::clamp<std::int64_t>(k, 0, n - 1) - window_begin];
    };
    const auto clamped = [&](std::int64_t i) {
        impulse[i] =
            (kNearWeight * (at(i + 1) - at(i - 1)) - kFarWeight * (at(i + 3) - at(i - 3))) /
            sample_interval;
    };
    // Samples whose seven neighbours all lie inside the step need no clamping.
    const std::int64_t inner_begin = std::clamp<std::int64_t>(3, begin, end);
    const std::int64_t inner_end = std::clamp<std::int64_t>(n - 3, inner_begin, end);
    for (std::int64_t i = begin; i < inner_begin; ++i) {
        clamped(i);
    }
    if (inner_end > inner_begin) {
        const double *s = window + (inner_begin - window_begin);
        double *out = impulse + inner_begin;
        for (std::int64_t q = 0; q < inner_end - inner_begin; ++q) {
            out[q] = (kNearWeight * (s[q + 1] - s[q - 1]) - kFarWeight * (s[q + 3] - s[q - 3])) /
                     sample_interval;
        }
    }
    for (std::int64_t i = inner_end; i < end; ++i) {
        clamped(i);
    }
}

}  // namespace ami
