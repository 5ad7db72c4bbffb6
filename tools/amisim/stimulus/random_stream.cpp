#include "tools/amisim/stimulus/random_stream.h"

#include <cmath>

#include "common/reproducible_math.h"

namespace amisim {

RandomStream::RandomStream(std::uint64_t seed) {
    // splitmix64 spreads any seed, 0 included, over the whole state.
    for (std::uint64_t &word : state_) {
        seed += 0x9e3779b97f4a7c15u;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        word = z ^ (z >> 31);
    }
}

void RandomStream::gaussian_pair(double &first, double &second) {
    // A point uniform in the unit disc (its square s in (0, 1)); then
    // u sqrt(-2 ln s / s) and v sqrt(-2 ln s / s) are independent normals.
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = 2.0 * uniform() - 1.0;
        v = 2.0 * uniform() - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * ami::reproducible_log(s) / s);
    first = u * factor;
    second = v * factor;
}

double RandomStream::gaussian() {
    if (has_spare_) {
        has_spare_ = false;
        return spare_;
    }
    double first = 0.0;
    gaussian_pair(first, spare_);
    has_spare_ = true;
    return first;
}

void RandomStream::gaussians(double *out, std::size_t count) {
    std::size_t i = 0;
    if (has_spare_ && count > 0) {
        out[i++] = gaussian();
    }
    for (; i + 2 <= count; i += 2) {
        gaussian_pair(out[i], out[i + 1]);
    }
    if (i < count) {
        out[i] = gaussian();
    }
}

}  // namespace amisim
