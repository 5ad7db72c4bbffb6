// Seeded random numbers that come out the same on every word size:
// xoshiro256** (integer arithmetic only) seeded through splitmix64, uniform
// doubles from the top 53 bits (exact), Gaussian deviates by the ziggurat
// method of Marsaglia and Tsang (256 layers, tables built with the
// library's reproducible exp and log, and square roots, which IEEE
// arithmetic rounds exactly). The same seed gives the same numbers bit for
// bit in the i386 and the x86-64 build.
#ifndef AMISIM_RANDOM_STREAM_H
#define AMISIM_RANDOM_STREAM_H

#include <cstddef>
#include <cstdint>

namespace amisim {

class RandomStream {
  public:
    explicit RandomStream(std::uint64_t seed);

    // 64 random bits.
    std::uint64_t next() {
        const std::uint64_t result = rotate(state_[1] * 5u, 7) * 9u;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotate(state_[3], 45);
        return result;
    }
    // Uniform on [0, 1), a multiple of 2^-53.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    // Uniform on (0, 1): never 0.
    double open_uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1p-53; }
    // Standard normal (mean 0, variance 1): almost always one draw of 64
    // bits, a table look-up and a comparison.
    double gaussian();
    // count standard normal deviates, the same numbers as count calls of
    // gaussian().
    void gaussians(double *out, std::size_t count);

  private:
    static std::uint64_t rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    // The rarer cases: the wedges beside the layers and the tail.
    double gaussian_beyond(std::uint64_t bits);

    std::uint64_t state_[4] = {};
};

}  // namespace amisim

#endif  // AMISIM_RANDOM_STREAM_H
