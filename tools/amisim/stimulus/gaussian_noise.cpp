#include "tools/amisim/stimulus/gaussian_noise.h"

#include <algorithm>

namespace amisim {

namespace {

constexpr std::size_t kChunk = 4096;

}  // namespace

void GaussianNoise::add(double *wave, std::size_t count) {
    if (sigma_ == 0.0) {
        return;
    }
    deviates_.resize(kChunk);
    while (count > 0) {
        const std::size_t run = std::min(count, kChunk);
        random_.gaussians(deviates_.data(), run);
        for (std::size_t i = 0; i < run; ++i) {
            wave[i] += sigma_ * deviates_[i];
        }
        wave += run;
        count -= run;
    }
}

}  // namespace amisim
