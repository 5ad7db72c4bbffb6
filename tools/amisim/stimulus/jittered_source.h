// The stimulus with a transmitter's jitter: symbols held for samples_per_bit
// samples each, as NrzSource sends them, but each edge displaced by the
// jitter, to a fraction of a sample. The ideal waveform (steps at the
// displaced edges) is averaged over each sample's interval [n, n + 1), so an
// edge moved by d samples moves the area under the waveform by d times the
// step: what a channel's convolution sees of the edge's timing. Without
// jitter every edge falls on a sample boundary and the samples are the
// levels themselves, bit for bit those of NrzSource.
//
// Edge k (between symbols k - 1 and k, at k samples_per_bit without jitter)
// moves by the sum of
//   random         rj times a standard normal deviate,
//   deterministic  +dj/2 or -dj/2, by a random bit,
//   sinusoidal     sj sin(2 pi sj_frequency k T), T the unit interval,
//   duty cycle     -dcd/2 on a rising edge, +dcd/2 on a falling one (a one
//                  lasts longer than a zero), 0 where the level stays,
// drawn for every boundary whether or not the level changes there, and kept
// no earlier than the edge before it. The seed fixes the random parts; the
// same seed gives the same samples on both word sizes.
#ifndef AMISIM_JITTERED_SOURCE_H
#define AMISIM_JITTERED_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/bit_pattern.h"
#include "tools/amisim/stimulus/jitter.h"
#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

struct JitteredSourceSettings {
    BitPattern pattern;
    std::vector<double> levels = {-0.5, 0.5};  // volts of symbols 0, 1, ...
    int samples_per_bit = 32;
    double sample_interval = 1e-12;  // s
    Jitter jitter;
    std::uint64_t seed = 1;
};

class JitteredSource final : public SampleSource {
  public:
    explicit JitteredSource(const JitteredSourceSettings &settings);
    void fill(double *out, std::size_t count) override;

  private:
    // Moves to the next edge: its symbol, its level and where it lies.
    void advance_edge();

    SymbolStream symbols_;
    std::vector<double> levels_;
    std::int64_t spb_;
    Jitter jitter_;  // in samples
    double sj_cycles_per_bit_;
    RandomStream random_;
    std::int64_t n_ = 0;  // the next sample
    double level_ = 0.0;  // the waveform's level at the start of sample n_
    // The next edge lies at edge_base_ + edge_offset_ samples: its ideal
    // place k spb plus its jitter, apart so that both stay exact however
    // long the run.
    std::int64_t edge_index_ = 0;
    std::int64_t edge_base_ = 0;
    double edge_offset_ = 0.0;
    double edge_level_ = 0.0;  // the level after it
};

}  // namespace amisim

#endif  // AMISIM_JITTERED_SOURCE_H
