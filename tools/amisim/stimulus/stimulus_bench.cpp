// Cost per sample of the stimulus: NrzSource beside the jittered source
// without jitter and with every kind of it, the noise at the receiver, and
// the sampling jitter per instant.
#include <benchmark/benchmark.h>

#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/gaussian_noise.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/sampling_jitter.h"

namespace {

constexpr int kSpb = 32;
constexpr double kDt = 3.125e-12;
constexpr std::size_t kBlock = 8192;

amisim::Jitter every_kind() {
    return {0.4e-12, 3e-12, 2e-12, 1e6, 1e-12};
}

void BM_NrzSource(benchmark::State &state) {
    amisim::NrzSource source(31, kSpb);
    std::vector<double> block(kBlock);
    for (auto _ : state) {
        source.fill(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_NrzSource);

// Argument 1: every kind of jitter; 0: none.
void BM_JitteredSource(benchmark::State &state) {
    amisim::JitteredSourceSettings settings;
    settings.pattern.prbs_order = 31;
    settings.samples_per_bit = kSpb;
    settings.sample_interval = kDt;
    if (state.range(0) != 0) {
        settings.jitter = every_kind();
    }
    amisim::JitteredSource source(settings);
    std::vector<double> block(kBlock);
    for (auto _ : state) {
        source.fill(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_JitteredSource)->Arg(0)->Arg(1);

void BM_GaussianNoise(benchmark::State &state) {
    amisim::GaussianNoise noise(0.01, 1);
    std::vector<double> block(kBlock, 0.0);
    for (auto _ : state) {
        noise.add(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_GaussianNoise);

void BM_SamplingJitter(benchmark::State &state) {
    amisim::SamplingJitter jitter(every_kind(), kDt, 1);
    std::vector<double> instants(1024, 0.0);
    for (auto _ : state) {
        jitter.displace(instants.data(), instants.size());
        benchmark::DoNotOptimize(instants.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * instants.size()));
}
BENCHMARK(BM_SamplingJitter);

}  // namespace

BENCHMARK_MAIN();
