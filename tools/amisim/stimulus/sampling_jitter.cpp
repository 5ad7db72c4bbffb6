#include "tools/amisim/stimulus/sampling_jitter.h"

#include <cmath>

#include "common/reproducible_math.h"

namespace amisim {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

}  // namespace

SamplingJitter::SamplingJitter(const Jitter &jitter, double sample_interval, std::uint64_t seed)
    : sj_cycles_per_sample_(jitter.sj_frequency * sample_interval), random_(seed) {
    const double per_sample = 1.0 / sample_interval;
    jitter_.rj = jitter.rj * per_sample;
    jitter_.dj = jitter.dj * per_sample;
    jitter_.sj = jitter.sj * per_sample;
    jitter_.dcd = jitter.dcd * per_sample;
}

void SamplingJitter::displace(double *instants, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++index_) {
        double offset = 0.0;
        if (jitter_.rj != 0.0) {
            offset += jitter_.rj * random_.gaussian();
        }
        if (jitter_.dj != 0.0) {
            offset += (random_.next() >> 63) != 0 ? 0.5 * jitter_.dj : -0.5 * jitter_.dj;
        }
        if (jitter_.sj != 0.0) {
            const double cycles = instants[i] * sj_cycles_per_sample_;
            offset += jitter_.sj * ami::reproducible_sin(kTwoPi * (cycles - std::floor(cycles)));
        }
        if (jitter_.dcd != 0.0) {
            offset += (index_ & 1u) == 0 ? -0.5 * jitter_.dcd : 0.5 * jitter_.dcd;
        }
        instants[i] += offset;
    }
}

}  // namespace amisim
