// The statistical eye of the built-in channel 200 unit intervals long at 32
// phases per unit interval, with its contours from 1e-3 to 1e-15: alone,
// and with noise, jitter of every kind at both ends and two aggressors; of
// NRZ and of PAM4.
// And the per-sample cost of what a waveform run adds to count errors and
// measure the crossings' jitter.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tools/amisim/analysis/crossing_jitter.h"
#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

constexpr int kSpb = 32;
constexpr double kDt = 3.125e-12;

// First argument 1: noise, jitter and two aggressors; 0: none. Second:
// the levels (2, NRZ; 4, PAM4).
void BM_StatisticalEye(benchmark::State &state) {
    const amisim::Channel channel = amisim::default_channel({}, kDt, 200 * kSpb);
    const amisim::ResponseFigures response =
        amisim::measure_response(channel.columns[0], kSpb, kDt);
    amisim::StatisticalEyeSettings settings;
    settings.pulse = response.pulse;
    settings.centre = response.eye_centre;
    settings.samples_per_bit = kSpb;
    settings.sample_interval = kDt;
    settings.levels = amisim::pam_levels(static_cast<int>(state.range(1)));
    settings.thresholds =
        amisim::midpoint_thresholds(settings.levels, response.pulse[response.cursor]);
    if (state.range(0) != 0) {
        settings.noise_sigma = 0.005;
        settings.tx_jitter = {0.5e-12, 3e-12, 2e-12, 1e6, 1e-12};
        settings.rx_jitter = {0.5e-12, 0.0, 0.0, 0.0, 1e-12};
        for (double scale : {0.05, -0.03}) {
            std::vector<double> aggressor = response.pulse;
            for (double &v : aggressor) {
                v *= scale;
            }
            settings.aggressors.push_back(aggressor);
        }
    }
    for (auto _ : state) {
        amisim::StatisticalEye eye;
        std::string error;
        if (!amisim::compute_statistical_eye(settings, eye, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(eye.ber.data());
    }
}
BENCHMARK(BM_StatisticalEye)
    ->Args({0, 2})
    ->Args({1, 2})
    ->Args({0, 4})
    ->Args({1, 4})
    ->Unit(benchmark::kMillisecond);

std::vector<double> nrz_block(std::size_t count) {
    amisim::NrzSource source(31, kSpb);
    std::vector<double> block(count);
    source.fill(block.data(), block.size());
    return block;
}

void BM_ErrorCounter(benchmark::State &state) {
    const std::vector<double> block = nrz_block(8192);
    amisim::ErrorCountSettings settings;
    settings.pattern.prbs_order = 31;
    settings.samples_per_bit = kSpb;
    settings.latency = kSpb / 2;
    settings.noise_sigma = 0.01;
    amisim::ErrorCounter counter(settings);
    amisim::FixedClock clock(kSpb / 2 + 0.25, kSpb);
    std::vector<double> instants;
    double end = 0.0;
    for (auto _ : state) {
        end += static_cast<double>(block.size());
        instants.clear();
        clock.instants_before(end, instants);
        counter.add(block.data(), block.size(), instants.data(), nullptr, instants.size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_ErrorCounter);

void BM_CrossingJitter(benchmark::State &state) {
    const std::vector<double> block = nrz_block(8192);
    amisim::CrossingJitterSettings settings;
    settings.samples_per_bit = kSpb;
    amisim::CrossingJitter meter(settings);
    for (auto _ : state) {
        meter.add(block.data(), block.size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_CrossingJitter);

}  // namespace

BENCHMARK_MAIN();
