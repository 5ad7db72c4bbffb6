// A streamed waveform's value at instants between its samples: linear
// interpolation between the samples on either side, sample n lying at
// instant n (samples from the start of the waveform). An instant at a whole
// sample gives that sample exactly. Instants arrive in ascending order with
// the blocks; one whose later sample has not come yet waits for the next
// block, and the last samples of each block are kept for instants a little
// before the next one's start.
#ifndef AMISIM_WAVEFORM_SAMPLER_H
#define AMISIM_WAVEFORM_SAMPLER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace amisim {

struct Sampled {
    double instant = 0.0;
    double value = 0.0;
    double tag = 0.0;  // whatever came with the instant
};

class WaveformSampler {
  public:
    // history: how many samples before a block instants may still reach.
    explicit WaveformSampler(std::size_t history);

    // The next count samples, and instants ascending (they may lie in
    // earlier blocks, within the history, or later ones), each with a tag
    // (none: the tag is the instant); appends to out every instant now
    // complete, in order.
    void add(const double *wave, std::size_t count, const double *instants, const double *tags,
             std::size_t n, std::vector<Sampled> &out);

    // Instants left out: not finite, before the history, or not after the
    // instant before them.
    std::uint64_t left_out() const { return left_out_; }

  private:
    std::size_t history_size_;
    std::vector<double> history_;  // samples history_start_ .. received_ - 1
    std::int64_t history_start_ = 0;
    std::int64_t received_ = 0;                      // samples added so far
    std::deque<std::pair<double, double>> pending_;  // instant, tag
    double last_ = -1e300;                           // the last instant taken
    std::uint64_t left_out_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_WAVEFORM_SAMPLER_H
