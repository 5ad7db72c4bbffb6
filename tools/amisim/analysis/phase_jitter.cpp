#include "tools/amisim/analysis/phase_jitter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/reproducible_math.h"
#include "tools/amisim/analysis/normal_tail.h"

namespace amisim {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;
constexpr double kFinestStep = 1.0 / 1024.0;
constexpr double kCoarsestStep = 1.0 / 32.0;
constexpr double kGaussianReach = 10.0;  // standard deviations

// Masses on the grid lo + i h.
struct FineGrid {
    std::ptrdiff_t lo = 0;
    std::vector<double> mass{1.0};  // a Dirac at 0
};

// The grid's distribution convolved with points at positions (in grid
// steps) of the given weights, each split between its two neighbouring
// steps.
FineGrid convolve_points(const FineGrid &grid, const std::vector<double> &positions,
                         double weight) {
    if (positions.empty()) {
        return grid;
    }
    const auto [low, high] = std::minmax_element(positions.begin(), positions.end());
    const auto first = static_cast<std::ptrdiff_t>(std::floor(*low));
    const auto last = static_cast<std::ptrdiff_t>(std::floor(*high)) + 1;
    FineGrid out;
    out.lo = grid.lo + first;
    out.mass.assign(grid.mass.size() + static_cast<std::size_t>(last - first), 0.0);
    for (double position : positions) {
        const double whole = std::floor(position);
        const double f = position - whole;
        const auto shift = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(whole) - first);
        const double below = weight * (1.0 - f);
        const double above = weight * f;
        for (std::size_t i = 0; i < grid.mass.size(); ++i) {
            out.mass[i + shift] += below * grid.mass[i];
            out.mass[i + shift + 1] += above * grid.mass[i];
        }
    }
    return out;
}

std::vector<double> dual_dirac(double peak_to_peak, double step) {
    if (peak_to_peak == 0.0) {
        return {};
    }
    return {-0.5 * peak_to_peak / step, 0.5 * peak_to_peak / step};
}

// Points at amplitude sin(2 pi (m + 1/2) / K), equally likely: K of them,
// four per grid step over the sinusoid's range.
std::vector<double> arcsine(double amplitude, double step) {
    if (amplitude == 0.0) {
        return {};
    }
    const double range = amplitude / step;
    const auto count = static_cast<std::size_t>(std::max(16.0, std::ceil(8.0 * range)));
    std::vector<double> points(count);
    for (std::size_t m = 0; m < count; ++m) {
        points[m] = range * ami::reproducible_sin(kTwoPi * (static_cast<double>(m) + 0.5) /
                                                  static_cast<double>(count));
    }
    return points;
}

// The weight the Gaussian of standard deviation sigma (in grid steps) puts
// on grid step k through the triangle max(0, 1 - |x - k|): the density
// integrated against each half of the triangle by an 8-point Gauss-Legendre
// rule.
double gaussian_on_step(std::ptrdiff_t k, double sigma) {
    static constexpr double kNodes[] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                                        0.9602898564975363};
    static constexpr double kWeights[] = {0.3626837833783620, 0.3137066458778873,
                                          0.2223810344533745, 0.1012285362903763};
    double sum = 0.0;
    for (double side : {-1.0, 1.0}) {
        // x = k + side t, t in [0, 1], triangle 1 - t; t = (1 + node) / 2.
        for (std::size_t i = 0; i < 4; ++i) {
            for (double node : {-kNodes[i], kNodes[i]}) {
                const double t = 0.5 * (1.0 + node);
                const double x = static_cast<double>(k) + side * t;
                sum += kWeights[i] * (1.0 - t) * normal_density(x / sigma);
            }
        }
    }
    return 0.5 * sum / sigma;
}

FineGrid convolve_gaussian(const FineGrid &grid, double sigma) {
    const auto reach = static_cast<std::ptrdiff_t>(std::ceil(kGaussianReach * sigma)) + 1;
    std::vector<double> kernel(static_cast<std::size_t>(2 * reach + 1));
    for (std::ptrdiff_t k = -reach; k <= reach; ++k) {
        kernel[static_cast<std::size_t>(k + reach)] = gaussian_on_step(k, sigma);
    }
    FineGrid out;
    out.lo = grid.lo - reach;
    out.mass.assign(grid.mass.size() + kernel.size() - 1, 0.0);
    for (std::size_t i = 0; i < grid.mass.size(); ++i) {
        const double m = grid.mass[i];
        if (m == 0.0) {
            continue;
        }
        for (std::size_t j = 0; j < kernel.size(); ++j) {
            out.mass[i + j] += m * kernel[j];
        }
    }
    return out;
}

}  // namespace

PhaseWeights sampling_phase_weights(const Jitter &tx, const Jitter &rx, double step_seconds) {
    const double per_step = 1.0 / step_seconds;
    const double sigma = std::sqrt(tx.rj * tx.rj + rx.rj * rx.rj) * per_step;
    const bool gaussian = sigma >= 2.0 * kFinestStep;
    const double step =
        gaussian ? std::min(std::max(0.25 * sigma, kFinestStep), kCoarsestStep) : kCoarsestStep;
    FineGrid grid;
    for (const Jitter *jitter : {&tx, &rx}) {
        grid = convolve_points(grid, dual_dirac(jitter->dj * per_step, step), 0.5);
        grid = convolve_points(grid, dual_dirac(jitter->dcd * per_step, step), 0.5);
        const std::vector<double> sinusoid = arcsine(jitter->sj * per_step, step);
        grid = convolve_points(grid, sinusoid, 1.0 / static_cast<double>(sinusoid.size()));
    }
    if (gaussian) {
        grid = convolve_gaussian(grid, sigma / step);
    }
    // Onto whole steps, by the triangle of linear interpolation.
    const double first = static_cast<double>(grid.lo) * step;
    const double last =
        static_cast<double>(grid.lo + static_cast<std::ptrdiff_t>(grid.mass.size()) - 1) * step;
    PhaseWeights result;
    result.reach = static_cast<int>(std::ceil(std::max(-first, last)));
    result.weights.assign(2 * static_cast<std::size_t>(result.reach) + 1, 0.0);
    for (std::size_t i = 0; i < grid.mass.size(); ++i) {
        if (grid.mass[i] == 0.0) {
            continue;
        }
        const double position =
            static_cast<double>(grid.lo + static_cast<std::ptrdiff_t>(i)) * step;
        const double whole = std::floor(position);
        const double f = position - whole;
        const auto index = static_cast<std::size_t>(whole + result.reach);
        result.weights[index] += (1.0 - f) * grid.mass[i];
        if (f > 0.0) {
            result.weights[index + 1] += f * grid.mass[i];
        }
    }
    return result;
}

}  // namespace amisim
