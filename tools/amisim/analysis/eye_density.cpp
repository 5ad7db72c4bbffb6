#include "tools/amisim/analysis/eye_density.h"

#include <algorithm>
#include <cmath>

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

EyeDensity::EyeDensity(int samples_per_bit, double expected_swing)
    : spb_(std::max(samples_per_bit, 1)),
      columns_(2 * spb_),
      range_(first_range(expected_swing)),
      scale_(kEyeRows / (2.0 * range_)),
      histogram_(static_cast<std::size_t>(columns_) * kEyeRows, 0),
      lowest_one_(static_cast<std::size_t>(spb_), HUGE_VAL),
      highest_zero_(static_cast<std::size_t>(spb_), -HUGE_VAL) {}

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

void EyeDensity::add(const double *wave, std::size_t run, int column, int slot, bool one) {
    // One loop for each kind of run, so that none tests per sample what
    // holds for the whole run.
    if (slot < 0) {
        add_run<Extreme::kNone>(wave, run, column, nullptr);
    } else if (one) {
        add_run<Extreme::kLowest>(wave, run, column, lowest_one_.data() + slot);
    } else {
        add_run<Extreme::kHighest>(wave, run, column, highest_zero_.data() + slot);
    }
}

template <EyeDensity::Extreme kExtreme>
void EyeDensity::add_run(const double *wave, std::size_t run, int column, double *extreme) {
    std::uint64_t *cells = histogram_.data() + static_cast<std::size_t>(column) * kEyeRows;
    for (std::size_t j = 0; j < run; ++j, cells += kEyeRows) {
        const double v = wave[j];
        double t = v * scale_;  // exact: scale_ is a power of two
        if (!(t >= -kHalfRows && t < kHalfRows)) {
            if (!std::isfinite(v)) {
                ++non_finite_;
                continue;
            }
            widen_to(v);
            cells = histogram_.data() + (static_cast<std::size_t>(column) + j) * kEyeRows;
            t = v * scale_;
        }
        // floor(t), without a call: truncation, one lower for negative
        // fractions.
        int row = static_cast<int>(t);
        row -= t < row ? 1 : 0;
        ++cells[row + kHalfRows];
        ++samples_;
        if constexpr (kExtreme == Extreme::kLowest) {
            extreme[j] = std::min(extreme[j], v);
        } else if constexpr (kExtreme == Extreme::kHighest) {
            extreme[j] = std::max(extreme[j], v);
        }
    }
}

}  // namespace amisim
