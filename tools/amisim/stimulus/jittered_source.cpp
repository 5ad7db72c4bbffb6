#include "tools/amisim/stimulus/jittered_source.h"

#include <algorithm>

namespace amisim {

JitteredSource::JitteredSource(const JitteredSourceSettings &settings)
    : symbols_(settings.pattern, static_cast<int>(settings.levels.size())),
      levels_(settings.levels),
      spb_(std::max(settings.samples_per_bit, 1)),
      random_(settings.seed) {
    if (levels_.empty()) {
        levels_.push_back(0.0);
    }
    jitter_ = jitter_in(settings.jitter, settings.sample_interval);
    sj_cycles_per_bit_ =
        settings.jitter.sj_frequency * static_cast<double>(spb_) * settings.sample_interval;
    edge_level_ = levels_[static_cast<std::size_t>(symbols_.next()) % levels_.size()];
    level_ = edge_level_;
    advance_edge();
}

void JitteredSource::advance_edge() {
    const double before = edge_level_;
    const double previous_offset = edge_offset_;
    ++edge_index_;
    edge_base_ += spb_;
    edge_level_ = levels_[static_cast<std::size_t>(symbols_.next()) % levels_.size()];
    double offset = random_and_sinusoidal(
        jitter_, static_cast<double>(edge_index_) * sj_cycles_per_bit_, random_);
    if (jitter_.dcd != 0.0 && edge_level_ != before) {
        offset += edge_level_ > before ? -0.5 * jitter_.dcd : 0.5 * jitter_.dcd;
    }
    // No earlier than the edge before, which lies spb samples further back.
    edge_offset_ = std::max(offset, previous_offset - static_cast<double>(spb_));
}

void JitteredSource::fill(double *out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        // Where the next edge lies from the start of sample n_.
        double to_edge = static_cast<double>(edge_base_ - n_) + edge_offset_;
        if (to_edge <= 0.0) {
            level_ = edge_level_;
            advance_edge();
            continue;
        }
        if (to_edge >= 1.0) {
            // Whole samples before the edge hold the level.
            const auto whole = static_cast<std::size_t>(to_edge);
            const std::size_t run = std::min(count - done, whole);
            std::fill(out + done, out + done + run, level_);
            done += run;
            n_ += static_cast<std::int64_t>(run);
            continue;
        }
        // One or more edges inside this sample: the average of the levels
        // over the pieces between them.
        double start = 0.0;
        double level = level_;
        double area = 0.0;
        while (to_edge < 1.0) {
            area += level * (to_edge - start);
            start = to_edge;
            level = edge_level_;
            advance_edge();
            to_edge = static_cast<double>(edge_base_ - n_) + edge_offset_;
        }
        area += level * (1.0 - start);
        level_ = level;
        out[done++] = area;
        ++n_;
    }
}

}  // namespace amisim
