#include "tools/amisim/run/ber_meters.h"

#include <algorithm>
#include <cmath>

namespace amisim {

BerMeters::BerMeters(const BerMeterSetup &setup)
    : setup_(setup),
      counter_(setup.count),
      jitter_(setup.rx_jitter, setup.sample_interval, setup.jitter_seed),
      phases_(static_cast<std::size_t>(std::max(setup.count.samples_per_bit, 1) * kPhaseBins + 1),
              0) {}

void BerMeters::start(bool receiver_clock) {
    started_ = true;
    receiver_clock_ = receiver_clock;
    const double spb = setup_.count.samples_per_bit;
    const double instant = setup_.count.latency +
                           (!receiver_clock && setup_.fixed_offset ? setup_.fixed_offset() : 0.0);
    CrossingJitterSettings crossings;
    crossings.samples_per_bit = setup_.count.samples_per_bit;
    crossings.threshold = setup_.crossing_threshold;
    crossings.receiver_clock = receiver_clock;
    crossings.grid_origin = instant - spb / 2;
    crossings.settle_samples = setup_.count.settle_bits * setup_.count.samples_per_bit;
    crossings.bins = setup_.histogram_bins;
    crossings_ = std::make_unique<CrossingJitter>(crossings);
    if (!receiver_clock) {
        fixed_.emplace(instant, setup_.count.samples_per_bit);
    }
}

void BerMeters::add(const double *wave, std::size_t count, const double *ticks,
                    std::size_t tick_count) {
    if (!started_) {
        start(tick_count > 0);
    }
    nominal_.clear();
    if (receiver_clock_) {
        const double half = setup_.count.samples_per_bit / 2.0;
        edges_.clear();
        for (std::size_t i = 0; i < tick_count; ++i) {
            const double edge = ticks[i] / setup_.sample_interval;
            edges_.push_back(edge);
            nominal_.push_back(edge + half);
        }
        crossings_->add_clock(edges_.data(), edges_.size());
    } else {
        fixed_->instants_before(static_cast<double>(received_ + count), nominal_);
    }
    received_ += static_cast<std::int64_t>(count);
    const double spb = setup_.count.samples_per_bit;
    const double first =
        setup_.count.latency + (static_cast<double>(setup_.count.settle_bits) - 0.5) * spb;
    for (double instant : nominal_) {
        if (!(instant >= first)) {
            continue;
        }
        double phase = instant - setup_.count.latency;
        phase -= std::floor(phase / spb + 0.5) * spb;
        const auto bin = std::lround((phase + spb / 2) * kPhaseBins);
        ++phases_[static_cast<std::size_t>(
            std::clamp(bin, 0L, static_cast<long>(phases_.size()) - 1))];
    }
    instants_ = nominal_;
    jitter_.displace(instants_.data(), instants_.size());
    counter_.add(wave, count, instants_.data(), nominal_.data(), instants_.size());
    if (counter_.thresholds_pending() && setup_.thresholds &&
        (counter_.kept() > kMaxKept || (setup_.thresholds_ready && setup_.thresholds_ready()))) {
        counter_.set_thresholds(setup_.thresholds());
    }
    crossings_->add(wave, count);
}

ErrorFigures BerMeters::errors() {
    if (counter_.thresholds_pending() && setup_.thresholds) {
        counter_.set_thresholds(setup_.thresholds());
    }
    return counter_.figures();
}

TieHistogram BerMeters::histogram() const {
    return crossings_ != nullptr ? crossings_->histogram() : TieHistogram{};
}

}  // namespace amisim
