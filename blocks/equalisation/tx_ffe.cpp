// Transmit feed-forward equaliser: taps one bit apart over a circular
// history of tap_count bits.
//
// The history index of tap k is (p - k S) mod L with L = N S. The filter
// keeps p's bit (p / S) instead of reducing an index per tap: taps 0 .. bit
// read p - k S directly, the rest read p - k S + L. Each sum runs over
// k = 0 .. N - 1 from 0.0, as the definition reads.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Kestrom_AMI_Model.h"
#include "common/cell_group.h"

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

// Two neighbouring samples, one in each lane: the lanes are summed
// independently, each in the order of the scalar sum.
using Pair = double __attribute__((vector_size(16)));

Pair load_pair(const double *from) {
    Pair pair;
    std::memcpy(&pair, from, sizeof pair);
    return pair;
}

void store_pair(double *to, Pair pair) {
    std::memcpy(to, &pair, sizeof pair);
}

// One output sample: taps 0 .. bit read newest - k S, the rest newest - k S + L.
template <typename Value, typename Load>
Value tap_sum(const double *taps, int32_t count, int32_t bit, const double *newest,
              std::ptrdiff_t spacing, std::ptrdiff_t length, Value zero, Load load) {
    Value sum = zero;
    const double *h = newest;
    int32_t k = 0;
    for (; k <= bit; ++k, h -= spacing) {
        sum = sum + taps[k] * load(h);
    }
    for (h += length; k < count; ++k, h -= spacing) {
        sum = sum + taps[k] * load(h);
    }
    return sum;
}

// Filters the block one stretch at a time, a stretch being the samples left
// in the current bit of the circle. Within a stretch every tap but the
// first reads samples written at least one bit earlier, so the stretch's
// inputs can go into the history first, and neighbouring samples read
// neighbouring history: they are summed in pairs.
void filter(const double *input, int32_t sample_count, const TxFFE &ffe, double *output) {
    const int32_t spacing = ffe.samples_per_bit;
    const int32_t count = ffe.tap_count;
    const int32_t length = ffe.history_length;
    const double *__restrict taps = ffe.taps;
    double *__restrict history = ffe.history;
    int32_t p = *ffe.position;
    if (p < 0 || p >= length) {
        p = 0;  // a position no filter leaves: start the circle afresh
    }
    int32_t bit = p / spacing;
    const Pair zero_pair = {0.0, 0.0};
    const auto load_one = [](const double *h) { return *h; };
    for (int32_t j = 0; j < sample_count;) {
        const int32_t in_bit = p - bit * spacing;
        const int32_t left = sample_count - j;
        const int32_t stretch = spacing - in_bit < left ? spacing - in_bit : left;
        for (int32_t r = 0; r < stretch; ++r) {
            history[p + r] = input[j + r];
        }
        int32_t r = 0;
        for (; r + 2 <= stretch; r += 2) {
            store_pair(output + j + r, tap_sum(taps, count, bit, history + p + r, spacing, length,
                                               zero_pair, load_pair));
        }
        if (r < stretch) {
            output[j + r] =
                tap_sum(taps, count, bit, history + p + r, spacing, length, 0.0, load_one);
        }
        j += stretch;
        p += stretch;
        if (p - bit * spacing == spacing && ++bit == count) {
            bit = 0;
            p = 0;
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
    cells.take(ffe.taps, tap_count);
    cells.take(ffe.max_gain, tap_count);
    cells.take(ffe.min_gain, tap_count);
    cells.take(ffe.gain_step, tap_count);
    cells.take(ffe.position, 1);
    cells.take(ffe.history, length);
    if (!cells.complete()) {
        return ffe;  // tap_count and history_length still 0
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
