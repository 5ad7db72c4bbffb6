// The waveform eyes per sample, NRZ beside PAM4 (argument: the levels): on
// the symbol grid, and at a clock that ticks once a unit interval; and a
// link's stimulus, channel and analysis together. (The program's main is
// statistical_eye_bench.cpp's.)
#include <benchmark/benchmark.h>

#include <vector>

#include "tools/amisim/analysis/clocked_eye.h"
#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/pam_eyes.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

constexpr int kSpb = 32;
constexpr double kDt = 3.125e-12;

amisim::JitteredSourceSettings stimulus(int levels) {
    amisim::JitteredSourceSettings settings;
    settings.pattern.prbs_order = 31;
    settings.levels = amisim::pam_levels(levels);
    settings.samples_per_bit = kSpb;
    settings.sample_interval = kDt;
    return settings;
}

// A short lossy channel.
std::vector<double> taps() {
    std::vector<double> taps(48);
    for (std::size_t k = 0; k < taps.size(); ++k) {
        taps[k] = 0.06 * static_cast<double>(k + 1) / static_cast<double>(k * k + 8);
    }
    return taps;
}

// The stimulus of PRBS31 at the levels through the channel.
std::vector<double> waveform(int levels, std::size_t count) {
    amisim::JitteredSource source(stimulus(levels));
    std::vector<double> wave(count);
    amisim::ChannelStream(taps(), source, amisim::Convolution::kDirect)
        .read(wave.data(), wave.size());
    return wave;
}

void per_sample(benchmark::State &state, std::size_t samples) {
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(samples),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

amisim::EyeLayout eye_layout(int levels) {
    amisim::EyeLayout layout;
    layout.samples_per_bit = kSpb;
    layout.centre = 20;
    layout.prbs_order = 31;
    layout.levels = levels;
    return layout;
}

void BM_EyeAccumulator(benchmark::State &state) {
    const int levels = static_cast<int>(state.range(0));
    const std::vector<double> wave = waveform(levels, 1 << 16);
    amisim::EyeAccumulator eye(eye_layout(levels));
    for (auto _ : state) {
        eye.add(wave.data(), wave.size());
    }
    benchmark::DoNotOptimize(eye.samples());
    per_sample(state, wave.size());
}
BENCHMARK(BM_EyeAccumulator)->Arg(2)->Arg(4);

void BM_ClockedEye(benchmark::State &state) {
    const int levels = static_cast<int>(state.range(0));
    const std::vector<double> wave = waveform(levels, 1 << 16);
    amisim::ClockedEyeLayout layout;
    layout.samples_per_bit = kSpb;
    layout.sample_interval = kDt;
    layout.centre = 20;
    layout.prbs_order = 31;
    layout.levels = levels;
    amisim::ClockedEye eye(layout);
    std::vector<double> ticks(wave.size() / kSpb);
    double first = kSpb * kDt;
    for (auto _ : state) {
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            ticks[k] = first + static_cast<double>(k) * kSpb * kDt;
        }
        first += static_cast<double>(wave.size()) * kDt;
        eye.add(wave.data(), wave.size(), ticks.data(), ticks.size());
    }
    benchmark::DoNotOptimize(eye.density().samples());
    per_sample(state, wave.size());
}
BENCHMARK(BM_ClockedEye)->Arg(2)->Arg(4);

// A link of 2^20 symbols, block by block: the stimulus through the
// channel, the eye on the symbol grid and the errors counted at its
// centre, then each eye read.
void BM_Link(benchmark::State &state) {
    const int levels = static_cast<int>(state.range(0));
    constexpr std::size_t kSymbols = 1 << 20;
    constexpr std::size_t kBlock = 8192;
    for (auto _ : state) {
        amisim::JitteredSource source(stimulus(levels));
        amisim::ChannelStream channel(taps(), source, amisim::Convolution::kDirect);
        amisim::EyeAccumulator eye(eye_layout(levels));
        amisim::ErrorCountSettings settings;
        settings.pattern.prbs_order = 31;
        settings.levels = static_cast<std::size_t>(levels);
        settings.thresholds = amisim::midpoint_thresholds(amisim::pam_levels(levels), 0.5);
        settings.samples_per_bit = kSpb;
        settings.latency = 20;
        amisim::ErrorCounter counter(settings);
        amisim::FixedClock clock(20, kSpb);
        std::vector<double> block(kBlock);
        std::vector<double> instants;
        for (std::size_t done = 0; done < kSymbols * kSpb; done += kBlock) {
            channel.read(block.data(), block.size());
            eye.add(block.data(), block.size());
            instants.clear();
            clock.instants_before(static_cast<double>(done + kBlock), instants);
            counter.add(block.data(), block.size(), instants.data(), nullptr, instants.size());
        }
        benchmark::DoNotOptimize(amisim::read_pam_eyes(eye.density(), {}).eyes.data());
        benchmark::DoNotOptimize(counter.figures().errors);
    }
    per_sample(state, kSymbols * kSpb);
}
BENCHMARK(BM_Link)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
