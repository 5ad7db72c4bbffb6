#include "tools/amisim/stimulus/sampling_jitter.h"

namespace amisim {

SamplingJitter::SamplingJitter(const Jitter &jitter, double sample_interval, std::uint64_t seed)
    : jitter_(jitter_in(jitter, sample_interval)),
      sj_cycles_per_sample_(jitter.sj_frequency * sample_interval),
      random_(seed) {}

void SamplingJitter::displace(double *instants, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++index_) {
        double offset =
            random_and_sinusoidal(jitter_, instants[i] * sj_cycles_per_sample_, random_);
        if (jitter_.dcd != 0.0) {
            offset += (index_ & 1u) == 0 ? -0.5 * jitter_.dcd : 0.5 * jitter_.dcd;
        }
        instants[i] += offset;
    }
}

}  // namespace amisim
