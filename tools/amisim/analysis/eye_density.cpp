#include "tools/amisim/analysis/eye_density.h"

#include <algorithm>
#include <cmath>

#include "tools/amisim/stimulus/symbol_mapping.h"

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

}  // namespace

EyeDensity::EyeDensity(int samples_per_bit, double expected_swing, int levels)
    : spb_(std::max(samples_per_bit, 1)),
      columns_(2 * spb_),
      levels_(std::min(std::max(levels, 2), kMaxLevels)),
      range_(first_range(expected_swing)),
      scale_(kEyeRows / (2.0 * range_)),
      histogram_(static_cast<std::size_t>(columns_) * kEyeRows, 0) {
    const auto slots = static_cast<std::size_t>(spb_);
    const auto symbols = static_cast<std::size_t>(levels_);
    lowest_.assign(symbols, std::vector<double>(slots, HUGE_VAL));
    highest_.assign(symbols, std::vector<double>(slots, -HUGE_VAL));
    centre_sums_.assign(symbols, 0.0);
    centre_counts_.assign(symbols, 0);
}

std::vector<double> EyeDensity::centre_means() const {
    std::vector<double> means(centre_sums_.size(), std::nan(""));
    for (std::size_t s = 0; s < means.size(); ++s) {
        if (centre_counts_[s] != 0) {
            means[s] = centre_sums_[s] / static_cast<double>(centre_counts_[s]);
        }
    }
    return means;
}

void EyeDensity::widen_to(double value) {
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

void EyeDensity::add(const double *wave, std::size_t run, int column, int slot, int symbol) {
    // One loop for each kind of run, so that none tests per sample what
    // holds for the whole run: the lowest symbol keeps its highest samples,
    // the highest its lowest, those between both.
    if (slot < 0) {
        add_run<Extreme::kNone>(wave, run, column, 0, 0);
        return;
    }
    const int centre = spb_ / 2 - slot;  // the centre slot's place in the run
    if (centre >= 0 && static_cast<std::size_t>(centre) < run) {
        const double v = wave[centre];
        if (std::isfinite(v)) {
            const auto s = static_cast<std::size_t>(std::min(std::max(symbol, 0), levels_ - 1));
            centre_sums_[s] += v;
            ++centre_counts_[s];
        }
    }
    if (symbol <= 0) {
        add_run<Extreme::kHighest>(wave, run, column, slot, 0);
    } else if (symbol >= levels_ - 1) {
        add_run<Extreme::kLowest>(wave, run, column, slot, levels_ - 1);
    } else {
        add_run<Extreme::kBoth>(wave, run, column, slot, symbol);
    }
}

template <EyeDensity::Extreme kExtreme>
void EyeDensity::add_run(const double *wave, std::size_t run, int column, int slot, int symbol) {
    constexpr bool kLow = kExtreme == Extreme::kLowest || kExtreme == Extreme::kBoth;
    constexpr bool kHigh = kExtreme == Extreme::kHighest || kExtreme == Extreme::kBoth;
    double *low = nullptr;
    double *high = nullptr;
    if constexpr (kExtreme != Extreme::kNone) {
        low = lowest_[static_cast<std::size_t>(symbol)].data() + slot;
        high = highest_[static_cast<std::size_t>(symbol)].data() + slot;
    }
    // The scale and the count in locals: the stores into the extremes may
    // not be taken to leave the members alone.
    double scale = scale_;
    std::uint64_t samples = 0;
    std::uint64_t *cells = histogram_.data() + static_cast<std::size_t>(column) * kEyeRows;
    for (std::size_t j = 0; j < run; ++j, cells += kEyeRows) {
        const double v = wave[j];
        double t = v * scale;  // exact: the scale is a power of two
        if (!(t >= -kHalfRows && t < kHalfRows)) {
            if (!std::isfinite(v)) {
                ++non_finite_;
                continue;
            }
            widen_to(v);
            scale = scale_;
            cells = histogram_.data() + (static_cast<std::size_t>(column) + j) * kEyeRows;
            t = v * scale;
        }
        // floor(t), without a call: truncation, one lower for negative
        // fractions.
        int row = static_cast<int>(t);
        row -= t < row ? 1 : 0;
        ++cells[row + kHalfRows];
        ++samples;
        if constexpr (kLow) {
            low[j] = std::min(low[j], v);
        }
        if constexpr (kHigh) {
            high[j] = std::max(high[j], v);
        }
    }
    samples_ += samples;
}

}  // namespace amisim
