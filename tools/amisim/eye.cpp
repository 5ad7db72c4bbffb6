#include "tools/amisim/eye.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace amisim {

namespace {

constexpr int kHalfRows = kEyeRows / 2;

// The smallest power of two above swing (1 for a swing that is not a
// positive number).
double first_range(double swing) {
    if (!(swing > 0.0) || !std::isfinite(swing)) {
        return 1.0;
    }
    int exponent = 0;
    std::frexp(swing, &exponent);  // swing = m 2^exponent, 0.5 <= m < 1
    return std::ldexp(1.0, exponent);
}

// a mod b for b > 0, never negative.
std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

}  // namespace

EyeAccumulator::EyeAccumulator(const EyeLayout &layout)
    : layout_(layout),
      spb_(std::max(layout.samples_per_bit, 1)),
      columns_(2 * spb_),
      range_(first_range(layout.expected_swing)),
      scale_(kEyeRows / (2.0 * range_)),
      histogram_(static_cast<std::size_t>(columns_) * kEyeRows, 0),
      lowest_one_(static_cast<std::size_t>(spb_), HUGE_VAL),
      highest_zero_(static_cast<std::size_t>(spb_), -HUGE_VAL),
      bits_(layout.prbs_order) {
    // Sample 0 lies c samples before the centre of bit 0.
    const std::int64_t offset = -static_cast<std::int64_t>(layout.centre) + spb_ / 2;
    slot_ = static_cast<int>(floor_mod(offset, spb_));
    bit_ = (offset - slot_) / spb_;
    column_ =
        static_cast<int>(floor_mod(-static_cast<std::int64_t>(layout.centre) + spb_, columns_));
    if (bit_ == 0) {
        value_ = bits_.next();
    }
}

void EyeAccumulator::widen_to(double value) {
    std::vector<std::uint64_t> merged(kEyeRows);
    while (!(std::floor(value * scale_) >= -kHalfRows && std::floor(value * scale_) < kHalfRows)) {
        range_ *= 2.0;
        scale_ *= 0.5;
        for (int c = 0; c < columns_; ++c) {
            std::uint64_t *column = histogram_.data() + static_cast<std::size_t>(c) * kEyeRows;
            std::fill(merged.begin(), merged.end(), 0);
            for (std::size_t r = 0; r < kEyeRows; ++r) {
                merged[r / 2 + kEyeRows / 4] += column[r];
            }
            std::copy(merged.begin(), merged.end(), column);
        }
    }
}

void EyeAccumulator::add(const double *wave, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        // A run of samples of one decided bit within one pass over the
        // columns: its bit, slot and column advance together.
        const auto run = std::min({count - i, static_cast<std::size_t>(spb_ - slot_),
                                   static_cast<std::size_t>(columns_ - column_)});
        if (bit_ >= layout_.settle_bits) {
            if (value_ != 0) {
                accumulate(wave + i, run, lowest_one_.data() + slot_, true);
            } else {
                accumulate(wave + i, run, highest_zero_.data() + slot_, false);
            }
        }
        i += run;
        slot_ += static_cast<int>(run);
        column_ += static_cast<int>(run);
        if (slot_ == spb_) {
            slot_ = 0;
            if (++bit_ >= 0) {
                value_ = bits_.next();
            }
        }
        if (column_ == columns_) {
            column_ = 0;
        }
    }
}

void EyeAccumulator::accumulate(const double *wave, std::size_t run, double *extreme, bool one) {
    std::uint64_t *cells = histogram_.data() + static_cast<std::size_t>(column_) * kEyeRows;
    for (std::size_t j = 0; j < run; ++j, cells += kEyeRows) {
        const double v = wave[j];
        double t = v * scale_;  // exact: scale_ is a power of two
        if (!(t >= -kHalfRows && t < kHalfRows)) {
            if (!std::isfinite(v)) {
                ++non_finite_;
                continue;
            }
            widen_to(v);
            cells = histogram_.data() + (static_cast<std::size_t>(column_) + j) * kEyeRows;
            t = v * scale_;
        }
        // floor(t), without a call: truncation, one lower for negative
        // fractions.
        int row = static_cast<int>(t);
        row -= t < row ? 1 : 0;
        ++cells[row + kHalfRows];
        ++samples_;
        extreme[j] = one ? std::min(extreme[j], v) : std::max(extreme[j], v);
    }
}

EyeFigures eye_figures(const EyeAccumulator &eye) {
    EyeFigures figures;
    const std::size_t slots = eye.lowest_one().size();
    const int spb = static_cast<int>(slots);
    if (spb == 0) {
        return figures;
    }
    figures.bathtub.resize(slots);
    for (std::size_t s = 0; s < slots; ++s) {
        const double one = eye.lowest_one()[s];
        const double zero = eye.highest_zero()[s];
        figures.bathtub[s] = std::isfinite(one) && std::isfinite(zero) ? one - zero : std::nan("");
    }
    // The greatest height; among equal ones the slot nearest the centre.
    for (int s = 0; s < spb; ++s) {
        const double h = figures.bathtub[static_cast<std::size_t>(s)];
        if (std::isnan(h)) {
            continue;
        }
        const bool nearer =
            std::abs(slot_offset(s, spb)) < std::abs(slot_offset(figures.best_slot, spb));
        if (!figures.measured || h > figures.height || (h == figures.height && nearer)) {
            figures.measured = true;
            figures.best_slot = s;
            figures.height = h;
        }
    }
    if (!figures.measured || !(figures.height > 0.0)) {
        return figures;
    }
    // Walk out from the best slot, round the period, while the eye stays
    // open; each end lies where the line to the first closed slot crosses 0.
    const std::vector<double> &h = figures.bathtub;
    auto at = [&](int s) { return h[static_cast<std::size_t>((s % spb + spb) % spb)]; };
    int open = 1;
    double width = 0.0;
    for (int step : {+1, -1}) {
        int s = figures.best_slot;
        while (open < spb && at(s + step) > 0.0) {
            s += step;
            ++open;
        }
        const double last = at(s);
        const double next = at(s + step);
        width += std::abs(s - figures.best_slot) + (std::isnan(next) ? 0.5 : last / (last - next));
    }
    figures.width = open == spb ? spb : width;
    return figures;
}

}  // namespace amisim
