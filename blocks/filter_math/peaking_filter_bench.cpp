// Cost per sample of the pre-emphasis filter, beside a literal transcription
// of its recursion that shifts both histories through the record's arrays
// every sample. The benchmark first checks that the library and the
// transcription give bit-identical samples and histories, and reports an
// error instead of a timing if they do not.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "blocks/filter_math/peaking_filter_literal.h"
#include "tests/support/bench_support.h"

namespace {

constexpr double kSampleInterval = 1e-12;
constexpr int32_t kCorner1 = 2;  // configuration of TX_Corner 1
constexpr int32_t kBlock = 4096;

// Filters one stream in uneven blocks with both implementations, each on
// its own record, and compares samples and final histories bit for bit.
bool library_matches_transcription() {
    const std::vector<double> input = bit_stream(3 * kBlock + 17);
    PeakingFilter fast = TxTapPZFGetFilter(kSampleInterval, nullptr, 0);
    PeakingFilter slow = TxTapPZFGetFilter(kSampleInterval, nullptr, 0);
    std::vector<double> fast_out(input.size());
    std::vector<double> slow_out(input.size());
    bool same = true;
    for (int32_t config = 0; config < 3; ++config) {
        std::size_t done = 0;
        for (std::size_t size :
             {std::size_t{1}, std::size_t{5}, std::size_t{kBlock}, std::size_t{0}, input.size()}) {
            const auto count = static_cast<int32_t>(std::min(size, input.size() - done));
            ApplyPeakingFilter(input.data() + done, count, fast, config, 0, fast_out.data() + done);
            literal_apply(input.data() + done, count, slow, config, 0, slow_out.data() + done);
            done += static_cast<std::size_t>(count);
        }
        same = same && same_bits(fast_out.data(), slow_out.data(), input.size()) &&
               same_bits(fast.peak_in, slow.peak_in, static_cast<std::size_t>(fast.coef_count)) &&
               same_bits(fast.peak_out, slow.peak_out, static_cast<std::size_t>(fast.coef_count));
    }
    DeletePeakingFilter(fast);
    DeletePeakingFilter(slow);
    return same;
}

template <typename Run>
void filter_blocks(benchmark::State &state, Run run) {
    if (!library_matches_transcription()) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = bit_stream(kBlock);
    std::vector<double> output(kBlock);
    PeakingFilter filter = TxTapPZFGetFilter(kSampleInterval, nullptr, 0);
    for (auto _ : state) {
        run(input.data(), kBlock, filter, kCorner1, 0, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    DeletePeakingFilter(filter);
    count_samples(state, kBlock);
}

void BM_ApplyPeakingFilter(benchmark::State &state) {
    filter_blocks(state, ApplyPeakingFilter);
}

void BM_ApplyPeakingFilter_Literal(benchmark::State &state) {
    filter_blocks(state, literal_apply);
}

}  // namespace

BENCHMARK(BM_ApplyPeakingFilter);
BENCHMARK(BM_ApplyPeakingFilter_Literal);

BENCHMARK_MAIN();
