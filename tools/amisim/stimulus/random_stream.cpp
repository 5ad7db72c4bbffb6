#include "tools/amisim/stimulus/random_stream.h"

#include <array>
#include <cmath>

#include "common/reproducible_math.h"

namespace amisim {

namespace {

// The ziggurat of the standard normal's density f(x) = exp(-x^2 / 2): 256
// layers of equal area kArea, the bottom one with the tail beyond kTail.
constexpr int kLayers = 256;
constexpr double kTail = 3.6541528853610088;
constexpr double kArea = 4.92867323399e-3;

struct Ziggurat {
    std::array<double, kLayers + 1> x{};  // right edge of each layer
    std::array<double, kLayers> ratio{};  // x[i + 1] / x[i]: inside it, no density to check
};

Ziggurat build_ziggurat() {
    Ziggurat z;
    double f = ami::reproducible_exp(-0.5 * kTail * kTail);
    z.x[0] = kArea / f;  // the bottom layer and the tail, as one rectangle of the same area
    z.x[1] = kTail;
    z.x[kLayers] = 0.0;
    for (int i = 2; i < kLayers; ++i) {
        z.x[i] = std::sqrt(-2.0 * ami::reproducible_log(kArea / z.x[i - 1] + f));
        f = ami::reproducible_exp(-0.5 * z.x[i] * z.x[i]);
    }
    for (int i = 0; i < kLayers; ++i) {
        z.ratio[i] = z.x[i + 1] / z.x[i];
    }
    return z;
}

const Ziggurat &ziggurat() {
    static const Ziggurat tables = build_ziggurat();
    return tables;
}

}  // namespace

RandomStream::RandomStream(std::uint64_t seed) {
    // splitmix64 spreads any seed, 0 included, over the whole state.
    for (std::uint64_t &word : state_) {
        seed += 0x9e3779b97f4a7c15u;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        word = z ^ (z >> 31);
    }
    ziggurat();  // the tables, built once, before any deviate is drawn
}

double RandomStream::gaussian() {
    double x = 0.0;
    gaussians(&x, 1);
    return x;
}

double RandomStream::gaussian_beyond(std::uint64_t bits) {
    const Ziggurat &z = ziggurat();
    while (true) {
        const double u = static_cast<double>(bits >> 11) * 0x1p-52 - 1.0;
        const auto layer = static_cast<std::size_t>(bits & 0xffu);
        if (std::fabs(u) < z.ratio[layer]) {
            return u * z.x[layer];
        }
        if (layer == 0) {
            // The tail beyond kTail (Marsaglia's method).
            double x = 0.0;
            double y = 0.0;
            do {
                x = ami::reproducible_log(open_uniform()) / kTail;
                y = ami::reproducible_log(open_uniform());
            } while (-2.0 * y < x * x);
            return u < 0.0 ? x - kTail : kTail - x;
        }
        // The wedge between the layer's rectangle and the density.
        const double x = u * z.x[layer];
        const double f0 = ami::reproducible_exp(-0.5 * (z.x[layer] * z.x[layer] - x * x));
        const double f1 = ami::reproducible_exp(-0.5 * (z.x[layer + 1] * z.x[layer + 1] - x * x));
        if (f1 + uniform() * (f0 - f1) < 1.0) {
            return x;
        }
        bits = next();
    }
}

// u from the top 53 bits, uniform in [-1, 1); the layer from the low 8.
void RandomStream::gaussians(double *out, std::size_t count) {
    const Ziggurat &z = ziggurat();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bits = next();
        const double u = static_cast<double>(bits >> 11) * 0x1p-52 - 1.0;
        const auto layer = static_cast<std::size_t>(bits & 0xffu);
        out[i] = std::fabs(u) < z.ratio[layer] ? u * z.x[layer] : gaussian_beyond(bits);
    }
}

}  // namespace amisim
