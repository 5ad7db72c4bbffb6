#include "tools/amisim/analysis/waveform_sampler.h"

#include <algorithm>
#include <cmath>

namespace amisim {

WaveformSampler::WaveformSampler(std::size_t history)
    : history_size_(std::max<std::size_t>(history, 1)) {}

void WaveformSampler::add(const double *wave, std::size_t count, const double *instants,
                          const double *tags, std::size_t n, std::vector<Sampled> &out) {
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(instants[i]) || instants[i] <= last_) {
            ++left_out_;
            continue;
        }
        last_ = instants[i];
        pending_.emplace_back(instants[i], tags == nullptr ? instants[i] : tags[i]);
    }
    const std::int64_t end = received_ + static_cast<std::int64_t>(count);
    auto sample = [&](std::int64_t j) {
        return j < received_ ? history_[static_cast<std::size_t>(j - history_start_)]
                             : wave[j - received_];
    };
    while (!pending_.empty()) {
        const auto [instant, tag] = pending_.front();
        const double whole = std::floor(instant);
        const auto j = static_cast<std::int64_t>(whole);
        if (j + 1 >= end) {
            break;  // its later sample comes with a later block
        }
        pending_.pop_front();
        if (j < history_start_) {
            ++left_out_;
            continue;
        }
        const double a = sample(j);
        const double b = sample(j + 1);
        out.push_back({instant, a + (instant - whole) * (b - a), tag});
    }
    // Keep the last samples for the next block.
    const std::int64_t keep_from =
        std::max(history_start_, end - static_cast<std::int64_t>(history_size_));
    std::vector<double> kept;
    kept.reserve(static_cast<std::size_t>(end - keep_from));
    for (std::int64_t j = keep_from; j < end; ++j) {
        kept.push_back(sample(j));
    }
    history_.swap(kept);
    history_start_ = keep_from;
    received_ = end;
}

}  // namespace amisim
