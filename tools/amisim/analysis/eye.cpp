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
      density_(spb_, layout.expected_swing, layout.levels),
      symbols_(BitPattern{layout.prbs_order, layout.seed, 0, layout.mapping}, layout.levels) {
    // Sample 0 lies c samples before the centre of bit 0.
    const std::int64_t offset = -static_cast<std::int64_t>(layout.centre) + spb_ / 2;
    slot_ = static_cast<int>(floor_mod(offset, spb_));
    bit_ = (offset - slot_) / spb_;
    column_ =
        static_cast<int>(floor_mod(-static_cast<std::int64_t>(layout.centre) + spb_, columns_));
    if (bit_ == 0) {
        value_ = symbols_.next();
    }
}

void EyeAccumulator::add(const double *wave, std::size_t count) {
    // The place in locals, so that none goes through memory between runs.
    int slot = slot_;
    int column = column_;
    std::int64_t bit = bit_;
    int value = value_;
    std::size_t i = 0;
    while (i < count) {
        // A run of samples of one decided bit within one pass over the
        // columns: its bit, slot and column advance together.
        const auto run = std::min({count - i, static_cast<std::size_t>(spb_ - slot),
                                   static_cast<std::size_t>(columns_ - column)});
        if (bit >= layout_.settle_bits) {
            density_.add(wave + i, run, column, slot, value);
        }
        i += run;
        slot += static_cast<int>(run);
        column += static_cast<int>(run);
        if (slot == spb_) {
            slot = 0;
            if (++bit >= 0) {
                value = symbols_.next();
            }
        }
        if (column == columns_) {
            column = 0;
        }
    }
    slot_ = slot;
    column_ = column;
    bit_ = bit;
    value_ = value;
}

void eye_edges(const EyeDensity &eye, int which, std::vector<double> &lower,
               std::vector<double> &upper) {
    lower = eye.highest(0);
    for (int s = 1; s <= which; ++s) {
        for (std::size_t slot = 0; slot < lower.size(); ++slot) {
            lower[slot] = std::max(lower[slot], eye.highest(s)[slot]);
        }
    }
    upper = eye.lowest(eye.levels() - 1);
    for (int s = eye.levels() - 2; s > which; --s) {
        for (std::size_t slot = 0; slot < upper.size(); ++slot) {
            upper[slot] = std::min(upper[slot], eye.lowest(s)[slot]);
        }
    }
}

double open_span(const std::vector<double> &values, int from) {
    const auto slots = static_cast<int>(values.size());
    // Walk out from the slot, round the period, while the eye stays open;
    // each end lies where the line to the first closed slot crosses 0.
    auto at = [&](int s) { return values[static_cast<std::size_t>((s % slots + slots) % slots)]; };
    int open = 1;
    double width = 0.0;
    for (int step : {+1, -1}) {
        int s = from;
        while (open < slots && at(s + step) > 0.0) {
            s += step;
            ++open;
        }
        const double last = at(s);
        const double next = at(s + step);
        width += std::abs(s - from) + (std::isnan(next) ? 0.5 : last / (last - next));
    }
    return open == slots ? slots : width;
}

EyeFigures eye_figures(const EyeDensity &eye, int which) {
    EyeFigures figures;
    const int spb = eye.samples_per_bit();
    if (which < 0 || which >= eye.levels() - 1) {
        return figures;
    }
    std::vector<double> lower;
    std::vector<double> upper;
    eye_edges(eye, which, lower, upper);
    const auto slots = static_cast<std::size_t>(spb);
    figures.bathtub.resize(slots);
    for (std::size_t s = 0; s < slots; ++s) {
        figures.bathtub[s] =
            std::isfinite(upper[s]) && std::isfinite(lower[s]) ? upper[s] - lower[s] : std::nan("");
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
    if (!figures.measured) {
        return figures;
    }
    figures.lower = lower[static_cast<std::size_t>(figures.best_slot)];
    figures.upper = upper[static_cast<std::size_t>(figures.best_slot)];
    if (figures.height > 0.0) {
        figures.width = open_span(figures.bathtub, figures.best_slot);
    }
    return figures;
}

}  // namespace amisim
