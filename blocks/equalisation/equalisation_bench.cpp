// Cost per sample of the equalisation and clock-recovery blocks, each beside
// its step-by-step transcription (equalisation_literal.h). Before timing,
// every benchmark runs both on the same stream in uneven blocks and checks
// that samples, tick times and state agree bit for bit; if they do not, it
// reports an error instead of a timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_literal.h"
#include "tests/support/bench_support.h"

namespace {

constexpr int32_t kBlock = 4096;
constexpr int32_t kSamplesPerBit = 32;
constexpr double kSampleInterval = 3.125e-12;

// Random bits of +-0.5 through a two-pole low-pass, a few samples late.
std::vector<double> channel_wave(std::size_t samples) {
    const std::vector<double> bits = bit_stream(samples + 7, kSamplesPerBit);
    std::vector<double> wave(samples);
    double first = 0.0;
    double second = 0.0;
    for (std::size_t t = 0; t < samples; ++t) {
        first = 0.8 * first + 0.2 * bits[t + 7];
        second = 0.8 * second + 0.2 * first;
        wave[t] = second;
    }
    return wave;
}

// Runs one stream through both in uneven blocks; run(fast_or_slow, in,
// count, out) applies one block.
template <typename Run>
bool same_outputs(Run run, const std::vector<double> &stream) {
    std::vector<double> fast(stream.size());
    std::vector<double> slow(stream.size());
    std::size_t done = 0;
    for (std::size_t size :
         {std::size_t{1}, std::size_t{77}, std::size_t{0}, std::size_t{kBlock}, stream.size()}) {
        const auto count = static_cast<int32_t>(std::min(size, stream.size() - done));
        run(true, stream.data() + done, count, fast.data() + done);
        run(false, stream.data() + done, count, slow.data() + done);
        done += static_cast<std::size_t>(count);
    }
    return same_bits(fast.data(), slow.data(), stream.size());
}

// --- Transmit FFE: 8 taps, 32 samples per bit -----------------------------------

const double kFFETaps[8] = {0.9, -0.2, 0.08, -0.03, 0.01, -0.005, 0.002, -0.001};

bool ffe_matches_transcription() {
    TxFFE fast = SetupTxFFE(kSamplesPerBit, 8, 0, kFFETaps);
    TxFFE slow = SetupTxFFE(kSamplesPerBit, 8, 0, kFFETaps);
    const bool same =
        same_outputs(
            [&](bool library, const double *in, int32_t count, double *out) {
                if (library) {
                    ApplyTxFFE(in, count, fast, 0, out);
                } else {
                    literal_apply_tx_ffe(in, count, slow, 0, out);
                }
            },
            channel_wave(3 * kBlock + 5)) &&
        *fast.position == *slow.position &&
        same_bits(fast.history, slow.history, static_cast<std::size_t>(fast.history_length));
    DeleteTxFFE(fast);
    DeleteTxFFE(slow);
    return same;
}

template <typename Apply>
void ffe_blocks(benchmark::State &state, Apply apply) {
    if (!ffe_matches_transcription()) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = channel_wave(kBlock);
    std::vector<double> output(kBlock);
    TxFFE ffe = SetupTxFFE(kSamplesPerBit, 8, 0, kFFETaps);
    for (auto _ : state) {
        apply(input.data(), kBlock, ffe, 0, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    DeleteTxFFE(ffe);
    count_samples(state, kBlock);
}

void BM_ApplyTxFFE(benchmark::State &state) {
    ffe_blocks(state, ApplyTxFFE);
}
void BM_ApplyTxFFE_Literal(benchmark::State &state) {
    ffe_blocks(state, literal_apply_tx_ffe);
}

// --- AGC: one pass for the level, one for the scaling -------------------------------

AGC agc_record() {
    double impulse[256];
    for (int i = 0; i < 256; ++i) {
        impulse[i] = 5e10 * std::exp(-0.02 * i);
    }
    return SetupAGC(0.4, impulse, 256, kSampleInterval, kSamplesPerBit);
}

bool agc_matches_transcription() {
    AGC fast = agc_record();
    AGC slow = agc_record();
    const bool same = same_outputs(
                          [&](bool library, const double *in, int32_t count, double *out) {
                              if (library) {
                                  ApplyAGC(in, count, fast, 0, out);
                              } else {
                                  literal_apply_agc(in, count, slow, 0, out);
                              }
                          },
                          channel_wave(3 * kBlock + 5)) &&
                      same_bits(fast.gain, slow.gain, 1) && same_bits(fast.level, slow.level, 1);
    DeleteAGC(fast);
    DeleteAGC(slow);
    return same;
}

template <typename Apply>
void agc_blocks(benchmark::State &state, Apply apply) {
    if (!agc_matches_transcription()) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = channel_wave(kBlock);
    std::vector<double> output(kBlock);
    AGC agc = agc_record();
    for (auto _ : state) {
        apply(input.data(), kBlock, agc, 0, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    DeleteAGC(agc);
    count_samples(state, kBlock);
}

void BM_ApplyAGC(benchmark::State &state) {
    agc_blocks(state, ApplyAGC);
}
void BM_ApplyAGC_Literal(benchmark::State &state) {
    agc_blocks(state, literal_apply_agc);
}

// --- DFE waveform path: 8 taps ------------------------------------------------------

const double kDFETaps[8] = {-0.12, 0.047, -0.021, 0.013, -0.004, 0.0, 0.002, -0.001};
const double kDecisions[8] = {0.5, -0.5, 0.5, 0.5, -0.5, -0.5, 0.5, -0.5};

DFE dfe_record(const char *mode) {
    return SetupDFE(8, kDFETaps, kSamplesPerBit, -0.3, 0.3, 0.001, mode, 1e-4, nullptr, 0);
}

bool dfe_matches_transcription(const char *mode) {
    DFE fast = dfe_record(mode);
    DFE slow = dfe_record(mode);
    const bool same = same_outputs(
                          [&](bool library, const double *in, int32_t count, double *out) {
                              if (library) {
                                  ApplyDFE(in, count, fast, 0, 0.0, kDecisions, out);
                              } else {
                                  literal_apply_dfe(in, count, slow, 0, 0.0, kDecisions, out);
                              }
                          },
                          channel_wave(3 * kBlock + 5)) &&
                      same_bits(fast.taps, slow.taps, 8);
    DeleteDFE(fast);
    DeleteDFE(slow);
    return same;
}

template <typename Apply>
void dfe_blocks(benchmark::State &state, const char *mode, Apply apply) {
    if (!dfe_matches_transcription(mode)) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = channel_wave(kBlock);
    std::vector<double> output(kBlock);
    DFE dfe = dfe_record(mode);
    for (auto _ : state) {
        apply(input.data(), kBlock, dfe, 0, 0.0, kDecisions, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    DeleteDFE(dfe);
    count_samples(state, kBlock);
}

void BM_ApplyDFE_Fixed(benchmark::State &state) {
    dfe_blocks(state, "fixed", ApplyDFE);
}
void BM_ApplyDFE_Fixed_Literal(benchmark::State &state) {
    dfe_blocks(state, "fixed", literal_apply_dfe);
}
void BM_ApplyDFE_Adapt(benchmark::State &state) {
    dfe_blocks(state, "adapt", ApplyDFE);
}
void BM_ApplyDFE_Adapt_Literal(benchmark::State &state) {
    dfe_blocks(state, "adapt", literal_apply_dfe);
}

// --- CDR: 32 samples per bit, auto mode ------------------------------------------------

CDR cdr_record() {
    return SetupCDR("auto", 1.0 / 64, 8, 1e-4, 4, kSamplesPerBit, 0.05, 0.0, nullptr, 0);
}

std::vector<double> cdr_cells(const CDR &c) {
    std::vector<double> cells = {*c.clock_phase,
                                 static_cast<double>(*c.vote_threshold),
                                 static_cast<double>(*c.sample_index),
                                 static_cast<double>(*c.wrap_count),
                                 *c.edge_timer,
                                 *c.data_timer,
                                 *c.previous_sample,
                                 *c.data_decision,
                                 *c.edge_decision,
                                 *c.retimed,
                                 static_cast<double>(*c.votes),
                                 *c.next_reference,
                                 *c.last_reference};
    cells.insert(cells.end(), c.decisions, c.decisions + c.decision_count);
    return cells;
}

bool cdr_matches_transcription() {
    CDR fast = cdr_record();
    CDR slow = cdr_record();
    const std::vector<double> stream = channel_wave(3 * kBlock + 5);
    std::vector<double> fast_clock(stream.size() + 1, 0.0);
    std::vector<double> slow_clock(stream.size() + 1, 0.0);
    int32_t fast_index = 0;
    int32_t slow_index = 0;
    std::size_t done = 0;
    for (std::size_t size :
         {std::size_t{1}, std::size_t{77}, std::size_t{0}, std::size_t{kBlock}, stream.size()}) {
        const auto count = static_cast<int32_t>(std::min(size, stream.size() - done));
        fast_index = ApplyCDR(stream.data() + done, count, fast, kSampleInterval, fast_index,
                              fast_clock.data());
        slow_index = literal_apply_cdr(stream.data() + done, count, slow, kSampleInterval,
                                       slow_index, slow_clock.data());
        done += static_cast<std::size_t>(count);
    }
    const std::vector<double> fast_cells = cdr_cells(fast);
    const std::vector<double> slow_cells = cdr_cells(slow);
    const bool same = fast_index == slow_index &&
                      same_bits(fast_clock.data(), slow_clock.data(), fast_clock.size()) &&
                      same_bits(fast_cells.data(), slow_cells.data(), fast_cells.size());
    DeleteCDR(fast);
    DeleteCDR(slow);
    return same;
}

template <typename Apply>
void cdr_blocks(benchmark::State &state, Apply apply) {
    if (!cdr_matches_transcription()) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = channel_wave(kBlock);
    std::vector<double> clock(kBlock + 1, 0.0);
    CDR cdr = cdr_record();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            apply(input.data(), kBlock, cdr, kSampleInterval, 0, clock.data()));
        benchmark::ClobberMemory();
    }
    DeleteCDR(cdr);
    count_samples(state, kBlock);
}

void BM_ApplyCDR(benchmark::State &state) {
    cdr_blocks(state, ApplyCDR);
}
void BM_ApplyCDR_Literal(benchmark::State &state) {
    cdr_blocks(state, literal_apply_cdr);
}

}  // namespace

BENCHMARK(BM_ApplyTxFFE);
BENCHMARK(BM_ApplyTxFFE_Literal);
BENCHMARK(BM_ApplyAGC);
BENCHMARK(BM_ApplyAGC_Literal);
BENCHMARK(BM_ApplyDFE_Fixed);
BENCHMARK(BM_ApplyDFE_Fixed_Literal);
BENCHMARK(BM_ApplyDFE_Adapt);
BENCHMARK(BM_ApplyDFE_Adapt_Literal);
BENCHMARK(BM_ApplyCDR);
BENCHMARK(BM_ApplyCDR_Literal);

BENCHMARK_MAIN();
