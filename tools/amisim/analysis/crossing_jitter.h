// The time-interval error of a waveform's crossings: each time the waveform
// crosses the threshold (between two samples, placed by linear
// interpolation), its distance from the nearest edge of a clock, in unit
// intervals. The clock is the bit grid (edges at origin + k spb) or a
// receiver's recovered clock (its ticks, which mark the start of each bit:
// the edges of its unit intervals). The distances go into a histogram over
// the unit interval around the edge.
#ifndef AMISIM_CROSSING_JITTER_H
#define AMISIM_CROSSING_JITTER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace amisim {

struct CrossingJitterSettings {
    int samples_per_bit = 32;
    double threshold = 0.0;           // volts
    bool receiver_clock = false;      // edges from add_clock; otherwise the bit grid
    double grid_origin = 0.0;         // samples: an edge of the bit grid
    std::int64_t settle_samples = 0;  // crossings before this sample are left out
    int bins = 1000;                  // of the histogram over [-1/2, 1/2) UI
};

struct TieHistogram {
    double low = -0.5;   // UI: bin i holds [low + i width, low + (i + 1) width)
    double width = 0.0;  // UI
    std::vector<std::uint64_t> counts;
    std::uint64_t crossings = 0;  // in the histogram
    std::uint64_t outside = 0;    // further than half a unit interval from every edge
    // Unit intervals looked at: crossings / bits is the transition density.
    std::uint64_t bits = 0;
    double mean = 0.0;  // UI, of the crossings in the histogram
    double rms = 0.0;   // UI, about the mean
};

class CrossingJitter {
  public:
    explicit CrossingJitter(const CrossingJitterSettings &settings);

    // The next count samples.
    void add(const double *wave, std::size_t count);
    // The receiver's clock edges (samples from the start), ascending.
    void add_clock(const double *edges, std::size_t count);

    TieHistogram histogram() const;

  private:
    void take(double tie);  // in samples
    void resolve();

    CrossingJitterSettings settings_;
    double spb_;
    std::int64_t received_ = 0;
    double previous_ = 0.0;         // the last sample
    std::deque<double> crossings_;  // waiting for the clock edges around them
    std::deque<double> edges_;
    TieHistogram histogram_;
    double sum_ = 0.0;  // of the TIEs, UI
    double squares_ = 0.0;
};

}  // namespace amisim

#endif  // AMISIM_CROSSING_JITTER_H
