// Shared pieces of the benchmarks: a transmitted bit stream, bit-for-bit
// comparison, and the ns/sample counter.
#ifndef AMI_TESTS_SUPPORT_BENCH_SUPPORT_H
#define AMI_TESTS_SUPPORT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

// Levels of +-0.5 from a fixed pseudo-random pattern, samples_per_bit
// samples a bit.
inline std::vector<double> bit_stream(std::size_t samples, std::size_t samples_per_bit = 16) {
    std::vector<double> wave(samples);
    uint32_t state = 0x5eedU;
    double level = 0.5;
    for (std::size_t t = 0; t < samples; ++t) {
        if (t % samples_per_bit == 0) {
            state = state * 1664525U + 1013904223U;
            level = (state >> 31) != 0 ? 0.5 : -0.5;
        }
        wave[t] = level;
    }
    return wave;
}

inline bool same_bits(const double *x, const double *y, std::size_t count) {
    return std::memcmp(x, y, count * sizeof(double)) == 0;
}

// Reports the time per sample, given the samples one iteration processes.
inline void count_samples(benchmark::State &state, int64_t samples_per_iteration) {
    state.SetItemsProcessed(state.iterations() * samples_per_iteration);
    state.counters["ns/sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(samples_per_iteration),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#endif  // AMI_TESTS_SUPPORT_BENCH_SUPPORT_H
