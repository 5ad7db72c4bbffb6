// Gaussian noise added to a waveform where it enters the receiver: every
// sample gets its own independent deviate of standard deviation sigma
// (volts), from a seeded stream that gives the same noise on both word
// sizes.
#ifndef AMISIM_GAUSSIAN_NOISE_H
#define AMISIM_GAUSSIAN_NOISE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

class GaussianNoise {
  public:
    GaussianNoise(double sigma, std::uint64_t seed) : sigma_(sigma), random_(seed) {}
    // Adds the next count deviates to wave[0 .. count-1]; nothing when sigma is 0.
    void add(double *wave, std::size_t count);

  private:
    double sigma_;
    RandomStream random_;
    std::vector<double> deviates_;
};

}  // namespace amisim

#endif  // AMISIM_GAUSSIAN_NOISE_H
