// How the running time of a piece of work grows with its size, as the ratio
// t(4n) / t(n), each the fastest of a few runs. Linear work gives about 4,
// quadratic work about 16; a ratio says this on any machine, loaded or not,
// where a wall-clock limit would not.
#ifndef AMI_TESTS_SUPPORT_GROWTH_RATIO_H
#define AMI_TESTS_SUPPORT_GROWTH_RATIO_H

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <limits>

// Above this, work that should be linear is not.
inline constexpr double kLinearGrowthLimit = 8.0;

template <typename Work>
double growth_ratio(std::size_t n, Work work, int runs = 3) {
    auto fastest = [&](std::size_t size) {
        double best = std::numeric_limits<double>::infinity();
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            work(size);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        return best;
    };
    const double small = fastest(n);
    return fastest(4 * n) / std::max(small, 1e-9);
}

#endif  // AMI_TESTS_SUPPORT_GROWTH_RATIO_H
