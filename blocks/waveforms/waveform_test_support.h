// Shared pieces of the waveform tests: sample vectors, reproducible random
// responses, bit-for-bit comparison.
#ifndef AMI_BLOCKS_WAVEFORMS_WAVEFORM_TEST_SUPPORT_H
#define AMI_BLOCKS_WAVEFORMS_WAVEFORM_TEST_SUPPORT_H

#include <gmock/gmock.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using Samples = std::vector<double>;

inline int32_t size_of(const Samples &x) {
    return static_cast<int32_t>(x.size());
}

// Uniform in [low, high), the same on every platform for one seed.
inline Samples random_samples(std::size_t count, unsigned seed, double low = -1.0,
                              double high = 1.0) {
    std::mt19937 engine(seed);
    Samples x(count);
    for (double &v : x) {
        // From the engine's 32-bit integers directly: the standard
        // distributions may differ between libraries.
        v = low + (high - low) * (static_cast<double>(engine()) / 4294967296.0);
    }
    return x;
}

inline Samples slice(const Samples &x, std::size_t begin, std::size_t end) {
    return Samples(x.begin() + static_cast<std::ptrdiff_t>(begin),
                   x.begin() + static_cast<std::ptrdiff_t>(end));
}

// Bit-for-bit equality, NaN and the sign of zero included.
MATCHER_P(HasSameBits, expected, "has the same bits as the expected samples") {
    const Samples &actual = arg;
    return actual.size() == expected.size() &&
           (actual.empty() ||
            std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(double)) == 0);
}

#endif  // AMI_BLOCKS_WAVEFORMS_WAVEFORM_TEST_SUPPORT_H
