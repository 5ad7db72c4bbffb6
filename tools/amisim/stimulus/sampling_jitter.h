// A receiver's jitter on its sampling instants. Instants are in samples
// from the start of the waveform (sample n at n sample intervals), possibly
// between samples. The i-th instant handed over moves by the sum of
//   random         rj times a standard normal deviate,
//   deterministic  +dj/2 or -dj/2, by a random bit,
//   sinusoidal     sj sin(2 pi sj_frequency t), t the instant's time,
//   duty cycle     -dcd/2 on even i, +dcd/2 on odd i (a clock of half the
//                  rate, one of whose phases comes early),
// from a seeded stream, the same on both word sizes.
#ifndef AMISIM_SAMPLING_JITTER_H
#define AMISIM_SAMPLING_JITTER_H

#include <cstddef>
#include <cstdint>

#include "tools/amisim/stimulus/jitter.h"
#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

class SamplingJitter {
  public:
    SamplingJitter(const Jitter &jitter, double sample_interval, std::uint64_t seed);
    // Moves the next count instants in place.
    void displace(double *instants, std::size_t count);

  private:
    Jitter jitter_;  // in samples
    double sj_cycles_per_sample_;
    RandomStream random_;
    std::uint64_t index_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_SAMPLING_JITTER_H
