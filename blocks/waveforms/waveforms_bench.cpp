// Cost of the conversions, the PRBS7 fold and unfold, and the reading of
// long textual lists, each beside a literal transcription (one output
// sample at a time, modulo indexing; for the list, "%lf" on the whole rest
// of the text at every entry). The numeric benchmarks first check that the
// library and the transcription agree bit for bit and report an error
// instead of timings if they do not.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveforms_literal.h"
#include "tests/support/bench_support.h"

namespace {

// A channel of 128 bits at 32 samples per bit, as the stand-in uses.
constexpr int32_t kSpb = 32;
constexpr int32_t kSamples = 128 * kSpb;
constexpr int32_t kPeriod = 127 * kSpb;
constexpr double kInterval = 3.125e-12;

std::vector<double> response(std::size_t n) {
    std::vector<double> h(n);
    uint32_t state = 0x5eedU;
    for (double &v : h) {
        state = state * 1664525U + 1013904223U;
        v = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    }
    return h;
}

using Transform = void (*)(double *, const double *, int32_t, int32_t, double);

void literal_i2p(double *out, const double *in, int32_t n, int32_t spb, double T) {
    literal::I2P(out, in, n, spb, T);
}
void literal_p2prbs(double *out, const double *in, int32_t n, int32_t spb, double /*T*/) {
    literal::P2PRBS(out, in, n, spb);
}
void literal_prbs2p(double *out, const double *in, int32_t n, int32_t spb, double /*T*/) {
    literal::PRBS2P(out, in, n, spb);
}

// Runs one transform of in_size input samples into out_size output samples
// (n = kSamples), after checking it against its transcription.
void run_transform(benchmark::State &state, Transform library, Transform transcription,
                   std::size_t in_size, std::size_t out_size) {
    const std::vector<double> input = response(in_size);
    std::vector<double> fast(out_size);
    std::vector<double> slow(out_size);
    library(fast.data(), input.data(), kSamples, kSpb, kInterval);
    transcription(slow.data(), input.data(), kSamples, kSpb, kInterval);
    if (!same_bits(fast.data(), slow.data(), out_size)) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const Transform run = state.range(0) == 0 ? library : transcription;
    for (auto _ : state) {
        run(fast.data(), input.data(), kSamples, kSpb, kInterval);
        benchmark::DoNotOptimize(fast.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) == 0 ? "library" : "literal");
    count_samples(state, kSamples);
}

void BM_I2P(benchmark::State &state) {
    run_transform(state, I2P, literal_i2p, kSamples, kSamples);
}

void BM_P2PRBS(benchmark::State &state) {
    run_transform(state, P2PRBS, literal_p2prbs, kSamples, kPeriod);
}

void BM_PRBS2P(benchmark::State &state) {
    run_transform(state, PRBS2P, literal_prbs2p, kPeriod, kSamples);
}

// ---- Textual lists ------------------------------------------------------------

// The list read with "%lf" straight from the text at each entry: the
// scanner measures the whole rest of the text every time.
double *literal_string2DoubleArray(const char *text, int32_t *count) {
    double values[512];
    int32_t stored = 0;
    bool after_separator = true;
    for (const char *c = text; *c != '\0'; ++c) {
        const bool separator =
            *c == '\t' || *c == '\n' || *c == '\r' || *c == ' ' || *c == '"' || *c == ',';
        if (separator) {
            after_separator = true;
        } else if (after_separator) {
            after_separator = false;
            double value = 0.0;
            if (std::sscanf(c, "%lf", &value) == 1 && stored < 512) {
                values[stored++] = value;
            }
        }
    }
    auto *array = static_cast<double *>(std::malloc(sizeof(double) * (stored > 0 ? stored : 1)));
    for (int32_t i = 0; array != nullptr && i < stored; ++i) {
        array[i] = values[i];
    }
    *count = stored;
    return array;
}

// "numbers": n numbers, of which the first 512 are kept. "words": n - 512
// entries that the scanner refuses, then 512 numbers: every entry is read.
std::string list(std::size_t n, bool words) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += words && i + 512 < n ? "0x" : std::to_string(0.001 * static_cast<double>(i));
        text += i % 8 == 7 ? "\n" : ", ";
    }
    return text;
}

template <double *(*Read)(const char *, int32_t *)>
void read_list(benchmark::State &state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    const std::string text = list(entries, state.range(1) != 0);
    for (auto _ : state) {
        int32_t count = 0;
        double *values = Read(text.c_str(), &count);
        benchmark::DoNotOptimize(values);
        std::free(values);
        if (count != 512) {
            state.SkipWithError("the list did not give 512 values");
            return;
        }
    }
    state.SetLabel(state.range(1) != 0 ? "words, then 512 numbers" : "numbers");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(entries));
    state.counters["ns/entry"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(entries),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_string2DoubleArray(benchmark::State &state) {
    read_list<string2DoubleArray>(state);
}

void BM_string2DoubleArray_Literal(benchmark::State &state) {
    read_list<literal_string2DoubleArray>(state);
}

}  // namespace

// Argument 0 times the library, 1 the literal transcription.
BENCHMARK(BM_I2P)->Arg(0)->Arg(1);
BENCHMARK(BM_P2PRBS)->Arg(0)->Arg(1);
BENCHMARK(BM_PRBS2P)->Arg(0)->Arg(1);
BENCHMARK(BM_string2DoubleArray)->ArgsProduct({{25000, 100000}, {0, 1}});
BENCHMARK(BM_string2DoubleArray_Literal)->Args({25000, 1})->Args({100000, 1})->Iterations(2);

BENCHMARK_MAIN();
