// How the running time of a piece of work grows with its size, as the ratio
// t(4n) / t(n), each the fastest of a few runs, in processor time of the
// calling thread (waiting for a busy machine's processors does not count).
// Linear work gives about 4, quadratic work about 16; a ratio says this on
// any machine, loaded or not, where a wall-clock limit would not.
#ifndef AMI_TESTS_SUPPORT_GROWTH_RATIO_H
#define AMI_TESTS_SUPPORT_GROWTH_RATIO_H

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <limits>

// Above this, work that should be linear is not.
inline constexpr double kLinearGrowthLimit = 8.0;

inline double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

template <typename Work>
double growth_ratio(std::size_t n, Work work, int runs = 5) {
    auto fastest = [&](std::size_t size) {
        double best = std::numeric_limits<double>::infinity();
        for (int r = 0; r < runs; ++r) {
            const double start = thread_seconds();
            work(size);
            best = std::min(best, thread_seconds() - start);
        }
        return best;
    };
    const double small = fastest(n);
    return fastest(4 * n) / std::max(small, 1e-9);
}

#endif  // AMI_TESTS_SUPPORT_GROWTH_RATIO_H
