// Folding impulse and pulse responses into their PRBS7 waveform.
#include "blocks/waveforms/prbs7_folding.h"

#include <algorithm>
#include <cstdint>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/peak_search.h"
#include "blocks/waveforms/scratch_doubles.h"

namespace ami {

void fold_pulse(double *waveform, const double *pulse, std::int64_t n,
                std::int32_t samples_per_bit) {
    const std::int64_t period = prbs7_period(samples_per_bit);
    std::fill(waveform, waveform + period, 0.0);
    for (int k = 0; k < kPrbs7Bits; ++k) {
        const double level = prbs7_level(k);
        // Pulse sample j lands on (j + k spb) mod L: runs of consecutive
        // samples, the first from k spb to the end of the period, the next
        // ones (for n > L) from its start, taken in increasing j.
        std::int64_t target = k * static_cast<std::int64_t>(samples_per_bit);
        for (std::int64_t j = 0; j < n; target = 0) {
            const std::int64_t run = std::min(n - j, period - target);
            double *__restrict out = waveform + target;
            const double *__restrict in = pulse + j;
            for (std::int64_t q = 0; q < run; ++q) {
                out[q] = out[q] + level * in[q];
            }
            j += run;
        }
    }
}

}  // namespace ami

void P2PRBS(double *waveform, const double *pulse, int32_t n, int32_t samples_per_bit,
            double /*sample_interval*/) {
    if (samples_per_bit < 1) {
        return;
    }
    ami::fold_pulse(waveform, pulse, std::max(n, 0), samples_per_bit);
}

void I2PRBS(double *waveform, const double *impulse, int32_t n, int32_t samples_per_bit,
            double sample_interval) {
    if (samples_per_bit < 1) {
        return;
    }
    const ami::ScratchDoubles pulse = ami::scratch_doubles(n);
    if (!pulse) {
        // Nothing to fold (n <= 0), or no memory for the pulse response.
        std::fill(waveform, waveform + ami::prbs7_period(samples_per_bit), 0.0);
        return;
    }
    I2P(pulse.get(), impulse, n, samples_per_bit, sample_interval);
    ami::fold_pulse(waveform, pulse.get(), n, samples_per_bit);
}

void I2PRBS7(double **waveform_place, const double *impulse, int32_t n, int32_t samples_per_bit,
             int32_t *length_place, int32_t *shift_place, double sample_interval) {
    // The rotation towards later samples: the peak's index, less 4 bits when
    // the peak lies beyond 8 bits. PRBS72I turns the response back by it.
    std::int64_t shift = 0;
    if (samples_per_bit >= 1) {
        shift = ami::peak_index(impulse, n);
        if (shift > 8 * static_cast<std::int64_t>(samples_per_bit)) {
            shift -= 4 * static_cast<std::int64_t>(samples_per_bit);
        }
    }
    const std::int64_t period = ami::prbs7_period(samples_per_bit);
    ami::ScratchDoubles waveform =
        ami::scratch_doubles(samples_per_bit <= ami::kMaxPrbs7SamplesPerBit ? 3 * period : 0);
    const ami::ScratchDoubles scratch = ami::scratch_doubles(2 * static_cast<std::int64_t>(n));
    if (waveform && n <= 0) {
        std::fill(waveform.get(), waveform.get() + period, 0.0);
    } else if (waveform && scratch) {
        double *rotated = scratch.get();
        double *pulse = scratch.get() + n;
        std::rotate_copy(impulse, impulse + (n - shift), impulse + n, rotated);
        I2P(pulse, rotated, n, samples_per_bit, sample_interval);
        ami::fold_pulse(waveform.get(), pulse, n, samples_per_bit);
    } else {
        waveform.reset();
    }
    if (waveform_place == nullptr) {
        waveform.reset();  // nowhere to hand it over
    }
    if (waveform) {
        std::copy(waveform.get(), waveform.get() + period, waveform.get() + period);
        std::copy(waveform.get(), waveform.get() + period, waveform.get() + 2 * period);
    }
    if (shift_place != nullptr) {
        *shift_place = static_cast<int32_t>(shift);
    }
    if (length_place != nullptr) {
        *length_place = waveform ? static_cast<int32_t>(3 * period) : 0;
    }
    if (waveform_place != nullptr) {
        *waveform_place = waveform.release();
    }
}
