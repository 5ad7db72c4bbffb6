// Cost per sample of the pre-emphasis filter, beside a literal transcription
// of its recursion that shifts both histories through the record's arrays
// every sample. Each benchmark first checks that the library and the
// transcription give bit-identical samples and histories, and reports an
// error instead of a timing if they do not.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/Halvorin_7314_Tx.h"

namespace {

constexpr double kSampleInterval = 1e-12;
constexpr int32_t kCorner1 = 2;  // configuration of TX_Corner 1
constexpr int32_t kBlock = 4096;

// The recursion exactly as written: shift the output history, start the sum
// at b0 x, add (bj x(t-j) + aj y(t-j)) for j = P .. 1 while shifting the
// input history, then store the input.
void literal_apply(const double *input, int32_t sample_count, PeakingFilter filt, int32_t index,
                   int32_t reset, double *output) {
    if (filt.filter_count == 0) {
        for (int32_t t = 0; t < sample_count; ++t) {
            output[t] = input[t];
        }
        return;
    }
    const int32_t s = index < filt.filter_count ? index : 0;
    const int32_t p = filt.coef_count - 1;
    const double *b = filt.numer[s];
    const double *a = filt.denom[s];
    if (reset != 0) {
        for (int32_t j = 0; j < filt.coef_count; ++j) {
            filt.peak_in[j] = 0.0;
            filt.peak_out[j] = 0.0;
        }
    }
    for (int32_t t = 0; t < sample_count; ++t) {
        const double x = input[t];
        if (p <= 0) {
            filt.peak_out[0] = b[0] * x;
        } else {
            for (int32_t j = p - 1; j >= 0; --j) {
                filt.peak_out[j + 1] = filt.peak_out[j];
            }
            filt.peak_out[0] = b[0] * x;
            for (int32_t j = p; j >= 1; --j) {
                filt.peak_out[0] =
                    (b[j] * filt.peak_in[j - 1] + a[j - 1] * filt.peak_out[j]) + filt.peak_out[0];
                filt.peak_in[j] = filt.peak_in[j - 1];
            }
        }
        filt.peak_in[0] = x;
        output[t] = filt.peak_out[0];
    }
    if (reset != 0) {
        for (int32_t j = 0; j < filt.coef_count; ++j) {
            filt.peak_in[j] = 0.0;
            filt.peak_out[j] = 0.0;
        }
    }
}

// A transmitted bit stream, 16 samples a bit, with a pseudo-random pattern.
std::vector<double> bit_stream(std::size_t samples) {
    std::vector<double> wave(samples);
    uint32_t state = 0x5eedU;
    double level = 0.5;
    for (std::size_t t = 0; t < samples; ++t) {
        if (t % 16 == 0) {
            state = state * 1664525U + 1013904223U;
            level = (state >> 31) != 0 ? 0.5 : -0.5;
        }
        wave[t] = level;
    }
    return wave;
}

bool same_bits(const double *x, const double *y, std::size_t count) {
    return std::memcmp(x, y, count * sizeof(double)) == 0;
}

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
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ApplyPeakingFilter(benchmark::State &state) {
    filter_blocks(state, ApplyPeakingFilter);
}

void BM_ApplyPeakingFilter_Literal(benchmark::State &state) {
    filter_blocks(state, literal_apply);
}

// A model instance with pre-emphasis on for TX_Corner 1. The fields are set
// directly as well, so the benchmark does not depend on the string reader.
struct Model {
    Model() {
        char parameters[] = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
        char *params_out = nullptr;
        char *msg = nullptr;
        AMI_Init(nullptr, 0, -1, kSampleInterval, 32 * kSampleInterval, parameters, &params_out,
                 &memory, &msg);
        if (memory != nullptr) {
            self().tx_corner = 1;
            self().tx_preemph = 1;
        }
    }
    ~Model() { AMI_Close(memory); }
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;
    AmiMemory &self() { return *static_cast<AmiMemory *>(memory); }
    void *memory = nullptr;
};

// The entry point's work on one block with the literal recursion in place
// of the library's filter.
long literal_get_wave(double *wave, long wave_size, char **params_out, AmiMemory &self) {
    if (self.tx_preemph == 1) {
        literal_apply(wave, static_cast<int32_t>(wave_size), self.filter,
                      TxTapPZFGetIndex(self.tx_corner), 0, wave);
    }
    *params_out = nullptr;
    return 1;
}

bool get_wave_matches_transcription() {
    Model library;
    Model literal;
    if (library.memory == nullptr || literal.memory == nullptr) {
        return false;
    }
    std::vector<double> fast = bit_stream(2 * kBlock + 3);
    std::vector<double> slow = fast;
    char *params_out = nullptr;
    std::size_t done = 0;
    for (long size : {7L, static_cast<long>(kBlock), static_cast<long>(kBlock) - 4}) {
        AMI_GetWave(fast.data() + done, size, nullptr, &params_out, library.memory);
        literal_get_wave(slow.data() + done, size, &params_out, literal.self());
        done += static_cast<std::size_t>(size);
    }
    return same_bits(fast.data(), slow.data(), fast.size());
}

template <typename GetWave>
void get_wave_blocks(benchmark::State &state, GetWave get_wave) {
    if (!get_wave_matches_transcription()) {
        state.SkipWithError("AMI_GetWave and the literal transcription differ");
        return;
    }
    Model model;
    if (model.memory == nullptr) {
        state.SkipWithError("AMI_Init failed");
        return;
    }
    const std::vector<double> input = bit_stream(kBlock);
    std::vector<double> wave(kBlock);
    char *params_out = nullptr;
    for (auto _ : state) {
        std::memcpy(wave.data(), input.data(), kBlock * sizeof(double));
        get_wave(wave.data(), kBlock, &params_out, model);
        benchmark::DoNotOptimize(wave.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_AMI_GetWave(benchmark::State &state) {
    get_wave_blocks(state, [](double *wave, long size, char **params_out, Model &model) {
        AMI_GetWave(wave, size, nullptr, params_out, model.memory);
    });
}

void BM_AMI_GetWave_Literal(benchmark::State &state) {
    get_wave_blocks(state, [](double *wave, long size, char **params_out, Model &model) {
        literal_get_wave(wave, size, params_out, model.self());
    });
}

}  // namespace

BENCHMARK(BM_ApplyPeakingFilter);
BENCHMARK(BM_ApplyPeakingFilter_Literal);
BENCHMARK(BM_AMI_GetWave);
BENCHMARK(BM_AMI_GetWave_Literal);

BENCHMARK_MAIN();
