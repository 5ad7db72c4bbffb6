#include "tools/amisim/analysis/eye.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace amisim {

namespace {

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
      density_(spb_, layout.expected_swing),
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

void EyeAccumulator::add(const double *wave, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        // A run of samples of one decided bit within one pass over the
        // columns: its bit, slot and column advance together.
        const auto run = std::min({count - i, static_cast<std::size_t>(spb_ - slot_),
                                   static_cast<std::size_t>(columns_ - column_)});
        if (bit_ >= layout_.settle_bits) {
            density_.add(wave + i, run, column_, slot_, value_ != 0);
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

EyeFigures eye_figures(const EyeDensity &eye) {
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
