#include "tools/amisim/clocked_eye.h"

#include <algorithm>
#include <cmath>

namespace amisim {

ClockedEye::ClockedEye(const ClockedEyeLayout &layout)
    : layout_(layout),
      spb_(std::max(layout.samples_per_bit, 1)),
      density_(spb_, layout.expected_swing),
      bits_(layout.prbs_order) {}

void ClockedEye::add(const double *wave, std::size_t count, const double *ticks,
                     std::size_t tick_count) {
    history_.insert(history_.end(), wave, wave + count);
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
    // Keep two unit intervals for the windows of the next block's first
    // ticks, and whatever the pending windows need.
    std::int64_t keep_from = received_ - 2 * static_cast<std::int64_t>(spb_);
    if (!pending_.empty()) {
        keep_from = std::min(keep_from, pending_.front().sample - spb_);
    }
    if (keep_from > history_start_) {
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<std::ptrdiff_t>(keep_from - history_start_));
        history_start_ = keep_from;
    }
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

void ClockedEye::sample_instant(const Instant &at) {
    const std::int64_t instant = at.sample;
    const std::int64_t bit = at.bit;
    if (clock_.in_eye == 0) {
        shift_ = at.phase;
        clock_.phase_lowest = at.phase;
        clock_.phase_highest = at.phase;
    }
    ++clock_.in_eye;
    phase_sum_ += at.phase - shift_;
    phase_square_sum_ += (at.phase - shift_) * (at.phase - shift_);
    clock_.phase_lowest = std::min(clock_.phase_lowest, at.phase);
    clock_.phase_highest = std::max(clock_.phase_highest, at.phase);
    while (next_bit_ <= bit) {
        bit_value_ = bits_.next();
        ++next_bit_;
    }
    const double *window = history_.data() + (instant - spb_ - history_start_);
    const bool one = bit_value_ != 0;
    // Offsets -spb .. -spb/2 - 1 and spb - spb/2 .. spb - 1 only into the
    // density; the unit interval between them, slot s at offset s - spb/2,
    // into the bathtub too.
    const int half = spb_ / 2;
    const auto before = static_cast<std::size_t>(spb_ - half);
    density_.add(window, before, 0, -1, one);
    density_.add(window + before, static_cast<std::size_t>(spb_), spb_ - half, 0, one);
    density_.add(window + before + static_cast<std::size_t>(spb_), static_cast<std::size_t>(half),
                 2 * spb_ - half, -1, one);
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
