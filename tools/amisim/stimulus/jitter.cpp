#include "tools/amisim/stimulus/jitter.h"

#include <cmath>

#include "common/reproducible_math.h"

namespace amisim {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

}  // namespace

Jitter jitter_in(const Jitter &jitter, double unit) {
    const double per_unit = 1.0 / unit;
    Jitter scaled = jitter;
    scaled.rj = jitter.rj * per_unit;
    scaled.dj = jitter.dj * per_unit;
    scaled.sj = jitter.sj * per_unit;
    scaled.dcd = jitter.dcd * per_unit;
    return scaled;
}

double random_and_sinusoidal(const Jitter &jitter, double cycles, RandomStream &random) {
    double offset = 0.0;
    if (jitter.rj != 0.0) {
        offset += jitter.rj * random.gaussian();
    }
    if (jitter.dj != 0.0) {
        offset += (random.next() >> 63) != 0 ? 0.5 * jitter.dj : -0.5 * jitter.dj;
    }
    if (jitter.sj != 0.0) {
        offset += jitter.sj * ami::reproducible_sin(kTwoPi * (cycles - std::floor(cycles)));
    }
    return offset;
}

}  // namespace amisim
