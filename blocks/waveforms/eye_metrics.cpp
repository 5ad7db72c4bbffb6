// Eye and error metrics of a linear link: error energy, the largest level a
// pulse response builds up, the peak-distortion eye opening and the
// signal-to-noise ratio around the main cursor.
//
// The pulse response is computed chunk by chunk on the stack as the
// metrics read it (the cursors one bit apart one sample at a time), with
// the same sums as I2P: nothing is allocated, so nothing can fail.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/peak_search.h"
#include "blocks/waveforms/waveform_sums.h"

namespace {

constexpr std::int64_t kChunk = 512;
constexpr double kNoiselessScale = 1e9;

// Calls visit(first index, samples, count) for the pulse response of the
// impulse response, chunk after chunk in increasing index.
template <typename Visit>
void for_each_pulse_chunk(const double *impulse, std::int64_t n, std::int32_t samples_per_bit,
                          double sample_interval, Visit visit) {
    double chunk[kChunk];
    for (std::int64_t begin = 0; begin < n; begin += kChunk) {
        const std::int64_t end = std::min(begin + kChunk, n);
        ami::pulse_samples(chunk, impulse, begin, end, samples_per_bit, sample_interval);
        visit(begin, chunk, end - begin);
    }
}

double pulse_at(const double *impulse, std::int64_t i, std::int32_t samples_per_bit,
                double sample_interval) {
    double sample = 0.0;
    ami::pulse_samples(&sample, impulse, i, i + 1, samples_per_bit, sample_interval);
    return sample;
}

std::int64_t main_cursor(const double *impulse, std::int64_t n, std::int32_t samples_per_bit,
                         double sample_interval) {
    ami::PeakSearch search;
    for_each_pulse_chunk(impulse, n, samples_per_bit, sample_interval,
                         [&](std::int64_t first, const double *samples, std::int64_t count) {
                             search.offer_all(samples, first, count);
                         });
    return search.index();
}

enum class Interference { kAdds, kCloses };

// |p[m]|, then each cursor one bit apart, (m + k spb) mod n for k = 1, 2, ...
// while k spb < n, added (MAX) or subtracted (PDA) in order of k.
double cursor_sum(const double *impulse, std::int32_t n, std::int32_t samples_per_bit,
                  double sample_interval, Interference interference) {
    if (n <= 0 || samples_per_bit < 1) {
        return 0.0;
    }
    const std::int64_t m = main_cursor(impulse, n, samples_per_bit, sample_interval);
    double level = std::fabs(pulse_at(impulse, m, samples_per_bit, sample_interval));
    std::int64_t cursor = m;
    for (std::int64_t k = 1; k * samples_per_bit < n; ++k) {
        cursor += samples_per_bit;
        if (cursor >= n) {
            cursor -= n;
        }
        const double interferer =
            std::fabs(pulse_at(impulse, cursor, samples_per_bit, sample_interval));
        level = interference == Interference::kAdds ? level + interferer : level - interferer;
    }
    return level;
}

}  // namespace

double ErrEnergy(const double *values, int32_t n, double reference) {
    double energy = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        energy += values[i] * values[i];
    }
    if (reference == 0.0) {
        // The limit of the ratio, without dividing by zero (which a caller's
        // floating-point traps could turn into a signal).
        return energy == 0.0 ? 0.0 : energy * std::numeric_limits<double>::infinity();
    }
    return energy / reference / reference;
}

double MAX(const double *impulse, int32_t n, int32_t samples_per_bit, double sample_interval) {
    return cursor_sum(impulse, n, samples_per_bit, sample_interval, Interference::kAdds);
}

double PDA(const double *impulse, int32_t n, int32_t samples_per_bit, double sample_interval) {
    return cursor_sum(impulse, n, samples_per_bit, sample_interval, Interference::kCloses);
}

double SNR(const double *impulse, int32_t n, int32_t samples_per_bit, double sample_interval,
           double threshold) {
    if (n <= 0 || samples_per_bit < 1) {
        return 0.0;
    }
    const std::int64_t m = main_cursor(impulse, n, samples_per_bit, sample_interval);
    // The window holds the 2h samples m - h .. m + h - 1, h = spb / 2.
    const std::int64_t half = samples_per_bit / 2;
    const std::int64_t window_begin = m - half;
    const std::int64_t window_end = m + half;
    double noise = 0.0;
    double signal = 0.0;
    for_each_pulse_chunk(impulse, n, samples_per_bit, sample_interval,
                         [&](std::int64_t first, const double *samples, std::int64_t count) {
                             for (std::int64_t q = 0; q < count; ++q) {
                                 const std::int64_t j = first + q;
                                 const double p = samples[q];
                                 if (j < window_begin || j >= window_end) {
                                     noise += p * p;
                                 } else if (p > threshold) {
                                     const double above = p - threshold;
                                     signal += above * above;
                                 }
                             }
                         });
    return noise > 0.0 ? signal / noise : signal * kNoiselessScale;
}
