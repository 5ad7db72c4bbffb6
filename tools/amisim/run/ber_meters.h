// What a waveform run measures beyond the eyes when asked for the error
// rate: the receiver's decisions counted against the symbols sent, and the
// time-interval error of the waveform's crossings. Both follow the
// receiver's clock when it returns ticks in its first block (each tick
// starts a bit, the decision half a bit later, the tick the edge of its
// unit interval), or else a fixed clock at the phase given (from the
// statistical eye's best phase) with the bit grid's edges half a unit
// interval before it. The receiver's jitter moves each decision instant.
#ifndef AMISIM_BER_METERS_H
#define AMISIM_BER_METERS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "tools/amisim/analysis/crossing_jitter.h"
#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/stimulus/sampling_jitter.h"

namespace amisim {

struct BerMeterSetup {
    // The symbols, thresholds, latency (the analysed response's eye centre,
    // samples), settling and the noise at each decision.
    ErrorCountSettings count;
    double sample_interval = 1e-12;  // s: turns the receiver's ticks into samples
    // Samples from the latency where the fixed clock decides: asked for
    // only when the receiver returns no ticks in its first block.
    std::function<double()> fixed_offset;
    // Where count.thresholds holds a NaN, the thresholds are to come (the
    // statistical eye's own centres): thresholds() gives them, waiting for
    // them, and thresholds_ready() says whether they are there. The
    // decisions are kept until they are, up to kMaxKept of them, then the
    // stream waits.
    std::function<std::vector<double>()> thresholds;
    std::function<bool()> thresholds_ready;
    // The crossings of the jitter are those of this threshold (volts).
    double crossing_threshold = 0.0;
    Jitter rx_jitter;
    std::uint64_t jitter_seed = 1;
    int histogram_bins = 1000;
};

class BerMeters {
  public:
    explicit BerMeters(const BerMeterSetup &setup);

    // The next count samples of the analysed waveform and the receiver's
    // ticks (s) that came with them.
    void add(const double *wave, std::size_t count, const double *ticks, std::size_t tick_count);

    // Whether the receiver's clock placed the decisions (known after the
    // first block).
    bool receiver_clock() const { return receiver_clock_; }
    // The errors counted, once the thresholds to come are there.
    ErrorFigures errors();
    TieHistogram histogram() const;
    // How the decisions' nominal instants lay from the latency, past the
    // settling: counts at the nearest 1/kPhaseBins of a sample over the unit
    // interval around it, bin 0 half a unit interval before it.
    static constexpr int kPhaseBins = 16;
    // Decisions kept at most for the thresholds to come.
    static constexpr std::size_t kMaxKept = 1u << 19;
    const std::vector<std::uint64_t> &phases() const { return phases_; }

  private:
    void start(bool receiver_clock);

    BerMeterSetup setup_;
    ErrorCounter counter_;
    SamplingJitter jitter_;
    bool started_ = false;
    bool receiver_clock_ = false;
    std::int64_t received_ = 0;  // samples so far
    std::optional<FixedClock> fixed_;
    std::unique_ptr<CrossingJitter> crossings_;
    std::vector<double> nominal_;
    std::vector<double> instants_;
    std::vector<double> edges_;
    std::vector<std::uint64_t> phases_;
};

}  // namespace amisim

#endif  // AMISIM_BER_METERS_H
