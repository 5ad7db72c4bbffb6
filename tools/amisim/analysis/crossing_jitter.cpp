#include "tools/amisim/analysis/crossing_jitter.h"

#include <algorithm>
#include <cmath>

namespace amisim {

CrossingJitter::CrossingJitter(const CrossingJitterSettings &settings)
    : settings_(settings), spb_(std::max(settings.samples_per_bit, 1)) {
    settings_.bins = std::max(settings_.bins, 1);
    histogram_.width = 1.0 / settings_.bins;
    histogram_.counts.assign(static_cast<std::size_t>(settings_.bins), 0);
}

void CrossingJitter::take(double tie) {
    const double ui = tie / spb_;
    const double position = (ui - histogram_.low) / histogram_.width;
    if (!(position >= 0.0 && position < settings_.bins)) {
        ++histogram_.outside;
        return;
    }
    ++histogram_.counts[static_cast<std::size_t>(position)];
    ++histogram_.crossings;
    sum_ += ui;
    squares_ += ui * ui;
}

void CrossingJitter::add(const double *wave, std::size_t count) {
    const double t = settings_.threshold;
    // Samples up to the settling point only set the one before the next.
    std::size_t i = 0;
    const std::int64_t settled = settings_.settle_samples + 1 - received_;
    if (settled > 0) {
        i = std::min(count, static_cast<std::size_t>(settled));
        if (i > 0) {
            previous_ = wave[i - 1];
        }
    }
    bool below = previous_ < t;
    for (; i < count; ++i) {
        const bool now = wave[i] < t;
        if (now == below) {
            continue;
        }
        below = now;
        const double before = i > 0 ? wave[i - 1] : previous_;
        const double crossing = static_cast<double>(received_ + static_cast<std::int64_t>(i) - 1) +
                                (t - before) / (wave[i] - before);
        if (settings_.receiver_clock) {
            crossings_.push_back(crossing);
        } else {
            const double from = crossing - settings_.grid_origin;
            take(from - std::round(from / spb_) * spb_);
        }
    }
    if (count > 0) {
        previous_ = wave[count - 1];
    }
    received_ += static_cast<std::int64_t>(count);
    if (received_ > settings_.settle_samples) {
        histogram_.bits = static_cast<std::uint64_t>(
            static_cast<double>(received_ - std::max<std::int64_t>(settings_.settle_samples, 0)) /
            spb_);
    }
    resolve();
}

void CrossingJitter::add_clock(const double *edges, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isfinite(edges[i]) && (edges_.empty() || edges[i] > edges_.back())) {
            edges_.push_back(edges[i]);
        }
    }
    resolve();
}

// Each crossing against the nearer of the edges on either side of it, once
// the edge after it is known; a crossing before the first edge against
// that edge.
void CrossingJitter::resolve() {
    while (!crossings_.empty() && !edges_.empty()) {
        const double crossing = crossings_.front();
        while (edges_.size() >= 2 && edges_[1] <= crossing) {
            edges_.pop_front();
        }
        if (crossing < edges_.front()) {
            take(crossing - edges_.front());
        } else if (edges_.size() >= 2) {
            const double before = crossing - edges_[0];
            const double after = crossing - edges_[1];
            take(before <= -after ? before : after);
        } else {
            return;  // the edge after it is still to come
        }
        crossings_.pop_front();
    }
}

TieHistogram CrossingJitter::histogram() const {
    TieHistogram h = histogram_;
    if (h.crossings > 0) {
        const auto n = static_cast<double>(h.crossings);
        h.mean = sum_ / n;
        h.rms = std::sqrt(std::max(squares_ / n - h.mean * h.mean, 0.0));
    }
    return h;
}

}  // namespace amisim
