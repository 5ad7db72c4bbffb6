#include "blocks/waveforms/waveform_sums.h"

#include <algorithm>
#include <cstdint>

namespace ami {

namespace {

// out[q] += in[q] for q < count; the two ranges never overlap.
void add_into(double *__restrict out, const double *__restrict in, std::int64_t count) {
    for (std::int64_t q = 0; q < count; ++q) {
        out[q] += in[q];
    }
}

constexpr double kNearWeight = 0.59;  // on the differences one sample away
constexpr double kFarWeight = 0.03;   // on the differences three samples away

}  // namespace

void pulse_samples(double *out, const double *impulse, std::int64_t begin, std::int64_t end,
                   std::int32_t samples_per_bit, double sample_interval) {
    std::fill(out, out + (end - begin), 0.0);
    // Term j of every sample i >= j, for j = 0, 1, ...: each sample receives
    // h[i], h[i - 1], ... in that order.
    for (std::int64_t j = 0; j < samples_per_bit; ++j) {
        const std::int64_t first = std::max(begin, j);
        if (first >= end) {
            break;
        }
        add_into(out + (first - begin), impulse + (first - j), end - first);
    }
    for (std::int64_t q = 0; q < end - begin; ++q) {
        out[q] = sample_interval * out[q];
    }
}

void step_samples(double *out, const double *pulse, std::int64_t begin, std::int64_t end,
                  std::int32_t samples_per_bit) {
    std::fill(out, out + (end - begin), 0.0);
    // Term m of every sample k >= m spb, for m = 0, 1, ...
    for (std::int64_t delay = 0; delay < end; delay += samples_per_bit) {
        const std::int64_t first = std::max(begin, delay);
        add_into(out + (first - begin), pulse + (first - delay), end - first);
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
