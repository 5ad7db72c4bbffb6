// Conversions between impulse, pulse and step responses.
#include <algorithm>
#include <cstdint>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_sums.h"

namespace {

// Output samples computed per pass: small enough for the partial sums to
// stay in the first-level cache while every term is added to them.
constexpr std::int64_t kChunk = 512;
// The differentiator reaches three samples to each side.
constexpr std::int64_t kReach = 3;

}  // namespace

void I2S(double *step, const double *impulse, int32_t n, double sample_interval) {
    if (n <= 0) {
        return;
    }
    double area = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        step[i] = 0.0;
        step[static_cast<int64_t>(n) + i] = area;  // the area before sample i, without it
        area = area + sample_interval * impulse[i];
    }
    const double half = area / 2;
    for (int64_t j = 0; j < 2 * static_cast<int64_t>(n); ++j) {
        step[j] = step[j] - half;
    }
}

void I2P(double *pulse, const double *impulse, int32_t n, int32_t samples_per_bit,
         double sample_interval) {
    if (samples_per_bit < 1) {
        std::fill(pulse, pulse + std::max(n, 0), sample_interval * 0.0);
        return;
    }
    for (int64_t begin = 0; begin < n; begin += kChunk) {
        ami::pulse_samples(pulse + begin, impulse, begin, std::min<int64_t>(begin + kChunk, n),
                           samples_per_bit, sample_interval);
    }
}

void S2I(double *impulse, const double *step, int32_t n, double sample_interval) {
    if (n <= 0) {
        return;
    }
    ami::differentiate_step(impulse, step + n, 0, n, 0, n, sample_interval);
}

// The step is rebuilt chunk by chunk, with the differentiator's reach on
// either side, into a window on the stack: no scratch memory to run out of.
void P2I(double *impulse, const double *pulse, int32_t n, int32_t samples_per_bit,
         double sample_interval) {
    if (n <= 0) {
        return;
    }
    if (samples_per_bit < 1) {
        std::fill(impulse, impulse + n, 0.0);
        return;
    }
    double window[kChunk + 2 * kReach];
    for (int64_t begin = 0; begin < n; begin += kChunk) {
        const int64_t end = std::min<int64_t>(begin + kChunk, n);
        const int64_t window_begin = std::max<int64_t>(begin - kReach, 0);
        const int64_t window_end = std::min<int64_t>(end + kReach, n);
        ami::step_samples(window, pulse, window_begin, window_end, samples_per_bit);
        ami::differentiate_step(impulse, window, window_begin, n, begin, end, sample_interval);
    }
}
