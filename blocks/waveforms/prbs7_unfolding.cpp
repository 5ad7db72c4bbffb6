// Unfolding a PRBS7 waveform into a pulse or impulse response.
//
// The unfold correlates the period with the pattern, which gives back the
// pulse response folded modulo the period L exactly (the pattern's
// autocorrelation is 127 at zero lag and -1 at every other lag); lays the
// period out in the n output samples, starting 12 bits before its peak when
// n > L; and subtracts the baseline (the mean of the last 16 bits) and the
// difference between a bit-spaced and a sample-spaced parabolic average,
// which removes what the folding spreads evenly over the period.
//
// For n < L the period is unfolded as for n = L in scratch memory and its
// first n samples are returned: a response of n < L samples folds into the
// first n samples of the period and the rest of the period holds only what
// the waveform's processing added, so the first n samples are the
// response's own, and no index leaves the caller's arrays.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/peak_search.h"
#include "blocks/waveforms/prbs7_folding.h"
#include "blocks/waveforms/scratch_doubles.h"

namespace {

using ami::kPrbs7Bits;

constexpr double kOwnBitWeight = 0.03125;     // 1/32
constexpr double kOtherBitWeight = 0.015625;  // 1/64
constexpr std::int64_t kBitsBeforePeak = 12;
constexpr std::int64_t kBaselineBits = 16;
constexpr std::int64_t kAverageBits = 8;  // bits to each side in the bit-spaced average
constexpr std::int64_t kCorrectionChunk = 256;

// out[q] = out[q] + factor * in[q] for q < count.
void add_scaled(double *__restrict out, const double *__restrict in, double factor,
                std::int64_t count) {
    for (std::int64_t q = 0; q < count; ++q) {
        out[q] = out[q] + factor * in[q];
    }
}

// Step 1: corr[s] = sum over k of sign_k waveform[(k spb + s) mod L], k ascending.
void correlate(double *corr, const double *waveform, std::int64_t period,
               std::int32_t samples_per_bit) {
    std::fill(corr, corr + period, 0.0);
    for (int k = 0; k < kPrbs7Bits; ++k) {
        const double sign = ami::prbs7_sign(k);
        const std::int64_t offset = k * static_cast<std::int64_t>(samples_per_bit);
        add_scaled(corr, waveform + offset, sign, period - offset);
        add_scaled(corr + (period - offset), waveform, sign, offset);
    }
}

// Step 2: pulse[j] = corr[j]/32, then + corr[(j + m spb) mod L]/64 for
// m = 1 .. 126 in turn, for every j < L.
void invert_correlation(double *pulse, const double *corr, std::int64_t period,
                        std::int32_t samples_per_bit) {
    for (std::int64_t j = 0; j < period; ++j) {
        pulse[j] = corr[j] * kOwnBitWeight;
    }
    for (int m = 1; m < kPrbs7Bits; ++m) {
        const std::int64_t offset = m * static_cast<std::int64_t>(samples_per_bit);
        add_scaled(pulse, corr + offset, kOtherBitWeight, period - offset);
        add_scaled(pulse + (period - offset), corr, kOtherBitWeight, offset);
    }
}

// Step 4, for n > L: with the peak more than 12 bits in, the period is read
// circularly from D = peak - 12 spb (its first D samples move behind it) and
// the n - L samples left over repeat the period's first bit from D;
// otherwise the samples after the period repeat its last bit.
void lay_out_period(double *pulse, std::int64_t n, std::int64_t period,
                    std::int32_t samples_per_bit, std::int64_t peak) {
    const std::int64_t lead = kBitsBeforePeak * samples_per_bit;
    if (peak > lead) {
        const std::int64_t d = peak - lead;
        for (std::int64_t s = 0; s < d; ++s) {
            const std::int64_t to = period + s;
            pulse[to < n ? to : to - n] = pulse[s];
        }
        std::int64_t phase = (period + d) % samples_per_bit;  // t mod spb
        for (std::int64_t t = period + d; t < n + d; ++t) {
            pulse[t < n ? t : t - n] = pulse[d + phase];
            phase = phase + 1 == samples_per_bit ? 0 : phase + 1;
        }
    } else {
        const std::int64_t last_bit = period - samples_per_bit;
        std::int64_t phase = period % samples_per_bit;
        for (std::int64_t i = period; i < n; ++i) {
            pulse[i] = pulse[last_bit + phase];
            phase = phase + 1 == samples_per_bit ? 0 : phase + 1;
        }
    }
}

// The parabolic weight w(x) = 1 - x^2/H, H = floor(289 spb^2 / 4): it falls
// to 0 about 8.5 bits from the centre.
class ParabolicWeight {
  public:
    explicit ParabolicWeight(std::int32_t samples_per_bit)
        : h_(static_cast<double>(parabola_scale(samples_per_bit))) {}
    double operator()(std::int64_t x) const { return 1.0 - static_cast<double>(x * x) / h_; }

  private:
    static std::int64_t parabola_scale(std::int64_t spb) { return 289 * spb * spb / 4; }
    double h_;
};

// acc[q] += w * samples[(first + q) mod n] / divisor for q < count, with
// -n < first < 2n and count <= n.
void add_weighted(double *acc, const double *samples, std::int64_t n, std::int64_t first,
                  std::int64_t count, double w, double divisor) {
    first = first < 0 ? first + n : (first >= n ? first - n : first);
    const std::int64_t head = std::min(count, n - first);
    const double *in = samples + first;
    for (std::int64_t q = 0; q < head; ++q) {
        acc[q] += w * in[q] / divisor;
    }
    for (std::int64_t q = head; q < count; ++q) {
        acc[q] += w * samples[q - head] / divisor;
    }
}

// Step 5: correction[k] = Abit(k) - Aall(k) over the n samples as they
// stand, each average a sum of w(x) pulse[(k + x) mod n] / S taken in
// increasing x: x = i spb for i = -8 .. 8 (S1 = sum of those weights), and
// every x with |x| < E = floor(17 spb / 2) (S2 = sum of those weights).
void parabolic_correction(double *correction, const double *pulse, std::int64_t n,
                          std::int32_t samples_per_bit) {
    const ParabolicWeight weight(samples_per_bit);
    const std::int64_t spb = samples_per_bit;
    const std::int64_t half_width = 17 * spb / 2;  // E
    double bit_sum = 0.0;                          // S1
    for (std::int64_t i = -kAverageBits; i <= kAverageBits; ++i) {
        bit_sum += weight(i * spb);
    }
    double sample_sum = 0.0;  // S2
    for (std::int64_t x = 1 - half_width; x < half_width; ++x) {
        sample_sum += weight(x);
    }
    for (std::int64_t k0 = 0; k0 < n; k0 += kCorrectionChunk) {
        const std::int64_t count = std::min(kCorrectionChunk, n - k0);
        double bit_average[kCorrectionChunk] = {};
        double sample_average[kCorrectionChunk] = {};
        for (std::int64_t i = -kAverageBits; i <= kAverageBits; ++i) {
            add_weighted(bit_average, pulse, n, k0 + i * spb, count, weight(i * spb), bit_sum);
        }
        for (std::int64_t x = 1 - half_width; x < half_width; ++x) {
            add_weighted(sample_average, pulse, n, k0 + x, count, weight(x), sample_sum);
        }
        for (std::int64_t q = 0; q < count; ++q) {
            correction[k0 + q] = bit_average[q] - sample_average[q];
        }
    }
}

}  // namespace

namespace ami {

std::int64_t unfold_scratch_count(std::int64_t n, std::int32_t samples_per_bit) {
    if (samples_per_bit > kMaxPrbs7SamplesPerBit) {
        return 0;  // no scratch: treated as memory that cannot be had
    }
    const std::int64_t period = prbs7_period(samples_per_bit);
    return n >= period ? n : 2 * period;
}

void unfold_waveform(double *pulse, const double *waveform, std::int64_t n,
                     std::int32_t samples_per_bit, double *scratch) {
    const std::int64_t period = prbs7_period(samples_per_bit);
    // For n < L the whole period is worked on in scratch after the
    // correlation; the correlation's room then holds the correction.
    const std::int64_t length = std::max(n, period);
    double *work = n >= period ? pulse : scratch + period;
    double *corr = scratch;
    double *correction = scratch;

    correlate(corr, waveform, period, samples_per_bit);
    invert_correlation(work, corr, period, samples_per_bit);
    if (length > period) {
        lay_out_period(work, length, period, samples_per_bit, peak_index(work, period));
    }
    parabolic_correction(correction, work, length, samples_per_bit);
    const std::int64_t baseline_samples = kBaselineBits * samples_per_bit;
    double baseline = 0.0;
    for (std::int64_t i = length - baseline_samples; i < length; ++i) {
        baseline += work[i];
    }
    baseline = baseline / static_cast<double>(baseline_samples);
    for (std::int64_t k = 0; k < length; ++k) {
        work[k] = work[k] - baseline - correction[k];
    }
    if (work != pulse) {
        std::copy(work, work + n, pulse);
    }
}

}  // namespace ami

void PRBS2P(double *pulse, const double *waveform, int32_t n, int32_t samples_per_bit,
            double /*sample_interval*/) {
    if (n <= 0) {
        return;
    }
    const ami::ScratchDoubles scratch =
        samples_per_bit < 1 ? ami::ScratchDoubles()
                            : ami::scratch_doubles(ami::unfold_scratch_count(n, samples_per_bit));
    if (!scratch) {
        std::fill(pulse, pulse + n, 0.0);
        return;
    }
    ami::unfold_waveform(pulse, waveform, n, samples_per_bit, scratch.get());
}

void PRBS2I(double *impulse, const double *waveform, int32_t n, int32_t samples_per_bit,
            double sample_interval) {
    if (n <= 0) {
        return;
    }
    const std::int64_t unfold_scratch =
        samples_per_bit < 1 ? 0 : ami::unfold_scratch_count(n, samples_per_bit);
    const ami::ScratchDoubles scratch =
        unfold_scratch > 0 ? ami::scratch_doubles(n + unfold_scratch) : ami::ScratchDoubles();
    if (!scratch) {
        std::fill(impulse, impulse + n, 0.0);
        return;
    }
    double *pulse = scratch.get();
    ami::unfold_waveform(pulse, waveform, n, samples_per_bit, scratch.get() + n);
    P2I(impulse, pulse, n, samples_per_bit, sample_interval);
}

void PRBS72I(double *impulse, double *const *waveform_place, int32_t n, int32_t samples_per_bit,
             const int32_t *shift_place, double sample_interval) {
    double *waveform = waveform_place != nullptr ? *waveform_place : nullptr;
    if (n > 0 && (waveform == nullptr || samples_per_bit < 1)) {
        std::fill(impulse, impulse + n, 0.0);
    } else if (n > 0) {
        PRBS2I(impulse, waveform + ami::prbs7_period(samples_per_bit), n, samples_per_bit,
               sample_interval);
        // Undo the rotation: impulse[i] = unfolded[(shift + i) mod n].
        const int64_t shift = shift_place != nullptr ? *shift_place : 0;
        std::rotate(impulse, impulse + ((shift % n) + n) % n, impulse + n);
    }
    std::free(waveform);
}
