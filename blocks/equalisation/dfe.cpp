// Decision feedback equaliser, on impulse responses and on waveforms.
//
// Waveform path: every sample gets sum over m of q(m) d(m), added in the
// order m = 0, 1, ..., with q(m) = resolution * floor(tap[m] / resolution).
// Without adaptation q(m) d(m) is the same for the whole call, so the block
// is equalised tap by tap over stretches that stay in the cache; each
// sample still receives its terms in the order m = 0, 1, ... With
// adaptation the taps change after every sample and are quantised afresh.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "Kestrom_AMI_Model.h"

namespace {

// Samples equalised tap by tap at a time: small enough to stay in L1.
constexpr int32_t kStretch = 512;
// Tap counts up to this adapt with their feedback terms kept in locals.
constexpr int32_t kMaxCachedTaps = 64;

// The tap as applied to a waveform. A resolution that is not positive and
// finite would make every quotient infinite or NaN, and a quotient can
// overflow for a tiny resolution: such taps are applied as they are.
struct Quantiser {
    double resolution;
    bool active;

    explicit Quantiser(double step) : resolution(step), active(step > 0 && std::isfinite(step)) {}

    double operator()(double tap) const {
        if (!active) {
            return tap;
        }
        const double q = resolution * std::floor(tap / resolution);
        return std::isfinite(q) || !std::isfinite(tap) ? q : tap;
    }
};

// Adaptation's clamp: the lower limit first, so that with the limits
// crossed the upper one wins.
double clamped(double t, double lowest, double highest) {
    if (t < lowest) {
        t = lowest;
    }
    if (t > highest) {
        t = highest;
    }
    return t;
}

void feed_back_fixed(double *output, int32_t sample_count, const DFE &dfe,
                     const double *decisions) {
    const Quantiser quantised(dfe.tap_resolution);
    for (int32_t start = 0; start < sample_count; start += kStretch) {
        const int32_t end = sample_count - start > kStretch ? start + kStretch : sample_count;
        for (int32_t m = 0; m < dfe.tap_count; ++m) {
            const double term = quantised(dfe.taps[m]) * decisions[m];
            for (int32_t j = start; j < end; ++j) {
                output[j] = output[j] + term;
            }
        }
    }
}

// The adapting path, literally: quantise, feed back, adapt, sample after
// sample. Used for tap counts beyond the cached kernel's.
void feed_back_adapting_directly(double *output, int32_t sample_count, const DFE &dfe,
                                 const double *decisions) {
    const Quantiser quantised(dfe.tap_resolution);
    double *__restrict taps = dfe.taps;
    for (int32_t j = 0; j < sample_count; ++j) {
        double y = output[j];
        for (int32_t m = 0; m < dfe.tap_count; ++m) {
            y = y + quantised(taps[m]) * decisions[m];
        }
        output[j] = y;
        const double scaled = dfe.adapt_step * y;
        for (int32_t m = 0; m < dfe.tap_count; ++m) {
            taps[m] = clamped(taps[m] - scaled * decisions[m], dfe.min_tap, dfe.max_tap);
        }
    }
}

// A quantised tap kept from sample to sample: its feedback term q(m) d(m)
// and the quotients tap / resolution whose floor it was formed from. Any
// quotient in [low, high) has that floor, so a tap whose new quotient falls
// there has the same quantised value and the same term. For a floor of 0
// only positive quotients qualify (floor(-0.0) is -0.0, which would change
// the term's sign of zero); a tap applied unquantised qualifies never.
struct KeptTap {
    double low;
    double high;
    double term;
};

void keep(KeptTap &kept, double tap, double decision, const Quantiser &quantised) {
    const double floor = std::floor(tap / quantised.resolution);
    const double q = quantised.resolution * floor;
    if (std::isfinite(q)) {
        kept.term = q * decision;
        kept.low = floor != 0            ? floor
                   : std::signbit(floor) ? std::numeric_limits<double>::infinity()
                                         : std::numeric_limits<double>::denorm_min();
        kept.high = floor + 1;
    } else {
        kept.term = quantised(tap) * decision;
        kept.low = std::numeric_limits<double>::infinity();
        kept.high = -std::numeric_limits<double>::infinity();
    }
}

// The adapting path with every tap's quantised value kept: the quotient
// of each adapted tap is still formed every sample, but its floor, the
// product and the term only when the quotient leaves the interval of the
// kept floor, which is rare. The next sample's feedback then needs no
// result of this sample's quotients, unless a floor changed.
void feed_back_adapting(double *output, int32_t sample_count, const DFE &dfe,
                        const double *decisions) {
    const int32_t count = dfe.tap_count;
    const Quantiser quantised(dfe.tap_resolution);
    if (count > kMaxCachedTaps || !quantised.active) {
        feed_back_adapting_directly(output, sample_count, dfe, decisions);
        return;
    }
    double *__restrict taps = dfe.taps;
    KeptTap kept[kMaxCachedTaps];
    for (int32_t m = 0; m < count; ++m) {
        keep(kept[m], taps[m], decisions[m], quantised);
    }
    const double resolution = quantised.resolution;
    const double step = dfe.adapt_step;
    const double lowest = dfe.min_tap;
    const double highest = dfe.max_tap;
    for (int32_t j = 0; j < sample_count; ++j) {
        double y = output[j];
        for (int32_t m = 0; m < count; ++m) {
            y = y + kept[m].term;
        }
        output[j] = y;
        const double scaled = step * y;
        for (int32_t m = 0; m < count; ++m) {
            const double t = clamped(taps[m] - scaled * decisions[m], lowest, highest);
            taps[m] = t;
            const double quotient = t / resolution;
            if (__builtin_expect(!(quotient >= kept[m].low && quotient < kept[m].high), 0)) {
                keep(kept[m], t, decisions[m], quantised);
            }
        }
    }
}

// Tap positions (M + (k + 1) S) mod N, one after the other without a
// remainder per tap and without overflow for any S and tap count.
class TapPositions {
  public:
    TapPositions(int32_t main_cursor, int32_t spacing, int32_t length)
        : position_(main_cursor), step_(spacing % length), length_(length) {}
    int32_t next() {
        position_ += step_;
        if (position_ >= length_) {
            position_ -= length_;
        }
        return position_;
    }

  private:
    int32_t position_;
    int32_t step_;
    int32_t length_;
};

void equalise_impulse(double *response, int32_t length, const DFE &dfe, double sample_interval) {
    if (length < 1 || dfe.samples_per_bit < 1 || sample_interval == 0 ||
        !std::isfinite(sample_interval)) {
        return;
    }
    int32_t main_cursor = -1;
    double largest = 0.0;
    for (int32_t i = 0; i < length; ++i) {
        const double magnitude = std::fabs(response[i]);
        if (magnitude > largest) {
            largest = magnitude;
            main_cursor = i;
        }
    }
    if (main_cursor < 0) {
        return;  // no non-zero sample: nothing to measure the post-cursors from
    }
    const auto spacing = static_cast<double>(dfe.samples_per_bit);
    if (dfe.mode == CONTROL_MODE_AUTO) {
        TapPositions positions(main_cursor, dfe.samples_per_bit, length);
        for (int32_t k = 0; k < dfe.tap_count; ++k) {
            dfe.taps[k] = -response[positions.next()] * sample_interval * spacing;
        }
    }
    TapPositions positions(main_cursor, dfe.samples_per_bit, length);
    for (int32_t k = 0; k < dfe.tap_count; ++k) {
        const int32_t p = positions.next();
        response[p] = response[p] + dfe.taps[k] / sample_interval;
    }
}

}  // namespace

DFE SetupDFE(int32_t tap_count, const double *taps, int32_t samples_per_bit, double min_tap,
             double max_tap, double tap_resolution, const char *mode, double adapt_step, char *msg,
             uint32_t msg_size) {
    DFE dfe{};
    dfe.mode = GetControlMode(mode, msg, msg_size);
    dfe.min_tap = min_tap;
    dfe.max_tap = max_tap;
    dfe.tap_resolution = tap_resolution;
    dfe.adapt_step = adapt_step;
    dfe.samples_per_bit = samples_per_bit;
    if (tap_count < 1) {
        return dfe;
    }
    dfe.taps =
        static_cast<double *>(std::calloc(static_cast<std::size_t>(tap_count), sizeof(double)));
    if (dfe.taps == nullptr) {
        return dfe;
    }
    dfe.tap_count = tap_count;
    if (taps != nullptr) {
        for (int32_t k = 0; k < tap_count; ++k) {
            dfe.taps[k] = taps[k];
        }
    }
    return dfe;
}

void ApplyDFE(const double *input, int32_t sample_count, DFE dfe, int32_t impulse,
              double sample_interval, const double *decisions, double *output) {
    if (input != output) {
        for (int32_t j = 0; j < sample_count; ++j) {
            output[j] = input[j];
        }
    }
    if (dfe.mode == CONTROL_MODE_OFF || dfe.tap_count < 1 || dfe.taps == nullptr) {
        return;
    }
    if (impulse != 0) {
        equalise_impulse(output, sample_count, dfe, sample_interval);
    } else if (decisions != nullptr) {
        if (dfe.mode == CONTROL_MODE_AUTO || dfe.mode == CONTROL_MODE_ADAPT) {
            feed_back_adapting(output, sample_count, dfe, decisions);
        } else {
            feed_back_fixed(output, sample_count, dfe, decisions);
        }
    }
}

void DeleteDFE(DFE dfe) {
    std::free(dfe.taps);
}
