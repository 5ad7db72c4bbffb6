// Transmit feed-forward equaliser: taps one bit apart over a circular
// history of tap_count bits.
//
// The history index of tap k is (p - k S) mod L with L = N S. The filter
// keeps p's bit (p / S) from sample to sample instead of reducing an index
// per tap: taps 0 .. bit read p - k S directly, the rest read p - k S + L.
// The sum runs over k = 0 .. N - 1 from 0.0, as the definition reads.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/state_cells.h"

namespace {

constexpr double kDefaultMaxGain = 1.0;
constexpr double kDefaultMinGain = -1.0;
constexpr double kDefaultGainStep = 1e-06;
constexpr const char *kInvalidLimits =
    "Invalid combination of max gain, min gain, and gain step in Tx FFE.\n";

bool has_state(const TxFFE &ffe) {
    return ffe.tap_count > 0 && ffe.samples_per_bit > 0 && ffe.taps != nullptr &&
           ffe.position != nullptr && ffe.history != nullptr &&
           static_cast<int64_t>(ffe.tap_count) * ffe.samples_per_bit == ffe.history_length;
}

void filter(const double *input, int32_t sample_count, const TxFFE &ffe, double *output) {
    const int32_t spacing = ffe.samples_per_bit;
    const int32_t taps_count = ffe.tap_count;
    const int32_t length = ffe.history_length;
    const double *__restrict taps = ffe.taps;
    double *__restrict history = ffe.history;
    int32_t p = *ffe.position;
    if (p < 0 || p >= length) {
        p = 0;  // a position no filter leaves: start the circle afresh
    }
    int32_t bit = p / spacing;           // taps 0 .. bit do not wrap
    int32_t in_bit = p - bit * spacing;  // p mod S
    for (int32_t j = 0; j < sample_count; ++j) {
        const double x = input[j];
        history[p] = x;
        double sum = 0.0;
        const double *newest = history + p;
        int32_t k = 0;
        for (; k <= bit; ++k) {
            sum += taps[k] * newest[-static_cast<std::ptrdiff_t>(k) * spacing];
        }
        const double *wrapped = newest + length;
        for (; k < taps_count; ++k) {
            sum += taps[k] * wrapped[-static_cast<std::ptrdiff_t>(k) * spacing];
        }
        output[j] = sum;
        ++p;
        if (++in_bit == spacing) {
            in_bit = 0;
            if (++bit == taps_count) {
                bit = 0;
                p = 0;
            }
        }
    }
    *ffe.position = p;
}

}  // namespace

TxFFE SetupTxFFE(int32_t samples_per_bit, int32_t tap_count, int32_t tag, const double *taps) {
    TxFFE ffe{};
    ffe.samples_per_bit = samples_per_bit;
    ffe.tag = tag;
    if (samples_per_bit < 1 || tap_count < 1 ||
        static_cast<int64_t>(samples_per_bit) * tap_count > INT32_MAX) {
        return ffe;
    }
    const int32_t length = samples_per_bit * tap_count;
    ami::CellGroup cells;
    ffe.taps = cells.take<double>(tap_count);
    ffe.max_gain = cells.take<double>(tap_count);
    ffe.min_gain = cells.take<double>(tap_count);
    ffe.gain_step = cells.take<double>(tap_count);
    ffe.position = cells.take<int32_t>(1);
    ffe.history = cells.take<double>(length);
    if (!cells.complete()) {
        return TxFFE{samples_per_bit, 0,       tag, nullptr, nullptr,
                     nullptr,         nullptr, 0,   nullptr, nullptr};
    }
    for (int32_t k = 0; k < tap_count; ++k) {
        ffe.taps[k] = taps != nullptr ? taps[k] : 0.0;
        ffe.max_gain[k] = kDefaultMaxGain;
        ffe.min_gain[k] = kDefaultMinGain;
        ffe.gain_step[k] = kDefaultGainStep;
    }
    ffe.tap_count = tap_count;
    ffe.history_length = length;
    return ffe;
}

void ApplyTxFFE(const double *input, int32_t sample_count, TxFFE ffe, int32_t reset,
                double *output) {
    if (!has_state(ffe)) {
        for (int32_t j = 0; j < sample_count; ++j) {
            output[j] = input[j];
        }
        return;
    }
    if (sample_count > 0) {
        filter(input, sample_count, ffe, output);
    }
    if (reset != 0) {
        *ffe.position = 0;
        for (int32_t i = 0; i < ffe.history_length; ++i) {
            ffe.history[i] = 0.0;
        }
    }
}

void AdvancedTxFFE(TxFFE ffe, const double *max_gain, const double *min_gain,
                   const double *gain_step, char *msg, uint32_t msg_size) {
    if (ffe.taps == nullptr || ffe.max_gain == nullptr || ffe.min_gain == nullptr ||
        ffe.gain_step == nullptr) {
        return;
    }
    for (int32_t i = 0; i < ffe.tap_count; ++i) {
        const double mx = max_gain[i];
        const double mn = min_gain[i];
        const double s = gain_step[i];
        // Written so that a NaN anywhere fails the test.
        if (!(mx > mn && s > 0 && (mx - mn) > s)) {
            WarnPrt(msg, msg_size, kInvalidLimits);
            continue;
        }
        ffe.max_gain[i] = mx;
        ffe.min_gain[i] = mn;
        ffe.gain_step[i] = s;
        double t = ffe.taps[i];
        if (t > mx) {
            t = mx;
        }
        if (t < mn) {
            t = mn;
        }
        ffe.taps[i] = s * std::floor((t + s / 2) / s);
    }
}

void DeleteTxFFE(TxFFE ffe) {
    std::free(ffe.taps);
    std::free(ffe.max_gain);
    std::free(ffe.min_gain);
    std::free(ffe.gain_step);
    std::free(ffe.position);
    std::free(ffe.history);
}
