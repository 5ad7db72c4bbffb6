// Cost per sample of AMI_GetWave with pre-emphasis on, beside the same entry
// point's work done with a literal transcription of the filter recursion.
// The benchmark first checks that both give bit-identical waveforms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "blocks/filter_math/peaking_filter_literal.h"
#include "tests/support/bench_support.h"

namespace {

constexpr double kSampleInterval = 1e-12;
constexpr int32_t kBlock = 4096;

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
    count_samples(state, kBlock);
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

BENCHMARK(BM_AMI_GetWave);
BENCHMARK(BM_AMI_GetWave_Literal);

BENCHMARK_MAIN();
