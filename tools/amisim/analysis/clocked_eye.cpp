#include "tools/amisim/analysis/clocked_eye.h"

#include <algorithm>
#include <cmath>

namespace amisim {

ClockedEye::ClockedEye(const ClockedEyeLayout &layout)
    : layout_(layout),
      spb_(std::max(layout.samples_per_bit, 1)),
      density_(spb_, layout.expected_swing, layout.levels),
      symbols_(BitPattern{layout.prbs_order, layout.seed, 0, layout.mapping}, layout.levels),
      window_(2 * static_cast<std::size_t>(spb_)) {}

void ClockedEye::add(const double *wave, std::size_t count, const double *ticks,
                     std::size_t tick_count) {
    block_ = wave;
    block_start_ = received_;
    received_ += static_cast<std::int64_t>(count);
    for (std::size_t i = 0; i < tick_count; ++i) {
        take_tick(ticks[i], received_);
    }
    std::size_t done = 0;
    while (done < pending_.size() && pending_[done].sample + spb_ <= received_) {
        sample_instant(pending_[done]);
        ++done;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    // The last two unit intervals stay for the windows still pending and
    // those of the next block's first ticks (which start at most a unit
    // interval and a half before it).
    const std::int64_t keep_from = std::max(history_start_, received_ - 2 * std::int64_t{spb_});
    std::vector<double> kept;
    kept.reserve(static_cast<std::size_t>(received_ - keep_from));
    for (std::int64_t n = keep_from; n < received_; ++n) {
        kept.push_back(at(n));
    }
    history_.swap(kept);
    history_start_ = keep_from;
    block_ = nullptr;
}

double ClockedEye::at(std::int64_t sample) const {
    return sample >= block_start_ ? block_[sample - block_start_]
                                  : history_[static_cast<std::size_t>(sample - history_start_)];
}

void ClockedEye::take_tick(double time, std::int64_t block_end) {
    // In samples; a tick within 1e-9 samples of a whole sample is taken at
    // it, undoing the rounding of n * interval / interval.
    double tick = time / layout_.sample_interval;
    if (std::fabs(tick - std::nearbyint(tick)) < 1e-9) {
        tick = std::nearbyint(tick);
    }
    const double instant = tick + 0.5 * spb_;
    // A tick must follow the previous one, and its window must lie within
    // the samples kept; one that claims a time more than a bit past the end
    // of its block is not believed.
    if (!(std::isfinite(time) && time > last_tick_) ||
        instant - spb_ < static_cast<double>(history_start_) - 0.5 ||
        tick >= static_cast<double>(block_end + spb_)) {
        ++clock_.rejected;
        return;
    }
    last_tick_ = time;
    ++clock_.ticks;
    const double from_grid = (instant - static_cast<double>(layout_.centre)) / spb_;
    const auto bit = static_cast<std::int64_t>(std::llround(from_grid));
    if (bit < layout_.settle_bits || bit < 0) {
        return;
    }
    pending_.push_back({std::llround(instant), bit, from_grid - static_cast<double>(bit)});
}

void ClockedEye::sample_instant(const Instant &point) {
    const std::int64_t instant = point.sample;
    const std::int64_t bit = point.bit;
    if (clock_.in_eye == 0) {
        shift_ = point.phase;
        clock_.phase_lowest = point.phase;
        clock_.phase_highest = point.phase;
    }
    ++clock_.in_eye;
    phase_sum_ += point.phase - shift_;
    phase_square_sum_ += (point.phase - shift_) * (point.phase - shift_);
    clock_.phase_lowest = std::min(clock_.phase_lowest, point.phase);
    clock_.phase_highest = std::max(clock_.phase_highest, point.phase);
    while (next_bit_ <= bit) {
        bit_value_ = symbols_.next();
        ++next_bit_;
    }
    // The window in the block, or gathered from the samples kept before it.
    const std::int64_t first = instant - spb_;
    const double *window = block_ + (first - block_start_);
    if (first < block_start_) {
        for (int i = 0; i < 2 * spb_; ++i) {
            window_[static_cast<std::size_t>(i)] = at(first + i);
        }
        window = window_.data();
    }
    const int symbol = bit_value_;
    // Offsets -spb .. -spb/2 - 1 and spb - spb/2 .. spb - 1 only into the
    // density; the unit interval between them, slot s at offset s - spb/2,
    // into the bathtub too.
    const int half = spb_ / 2;
    const auto before = static_cast<std::size_t>(spb_ - half);
    density_.add(window, before, 0, -1, symbol);
    density_.add(window + before, static_cast<std::size_t>(spb_), spb_ - half, 0, symbol);
    density_.add(window + before + static_cast<std::size_t>(spb_), static_cast<std::size_t>(half),
                 2 * spb_ - half, -1, symbol);
}

ClockFigures ClockedEye::clock() const {
    ClockFigures figures = clock_;
    if (figures.in_eye > 0) {
        const double n = static_cast<double>(figures.in_eye);
        const double mean = phase_sum_ / n;
        figures.phase_mean = shift_ + mean;
        figures.phase_spread = std::sqrt(std::max(0.0, phase_square_sum_ / n - mean * mean));
    }
    return figures;
}

}  // namespace amisim
