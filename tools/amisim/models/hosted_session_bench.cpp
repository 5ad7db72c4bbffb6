// The cost of running a model in a host process: the round trip of one
// AMI_GetWave on an empty block, and the cost per sample of 8192-sample
// blocks for this product's model, hosted (both word sizes) and in this
// process.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/amisim/models/hosted_session.h"

namespace {

std::unique_ptr<amisim::ModelSession> open_initialised(benchmark::State &state,
                                                       const std::string &path, bool hosted) {
    std::string error;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError((path + " is missing: build that word size").c_str());
        return nullptr;
    }
    amisim::HostedOptions options;
    options.host_32 = AMISIM_HOST_32;
    options.host_64 = AMISIM_HOST_64;
    auto session =
        hosted ? amisim::open_hosted(path, options, error) : amisim::open_in_process(path, error);
    amisim::InitRequest request;
    request.row_size = 256;
    request.impulse_matrix.assign(256, 0.0);
    request.impulse_matrix[10] = 1e10;
    request.sample_interval = 3.125e-12;
    request.bit_time = 1e-10;
    request.parameters_in = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
    amisim::InitReply reply;
    if (session == nullptr || !session->init(request, reply, error) || reply.status != 1) {
        state.SkipWithError(("cannot start the model: " + error).c_str());
        return nullptr;
    }
    return session;
}

void get_wave(benchmark::State &state, const std::string &path, bool hosted) {
    auto session = open_initialised(state, path, hosted);
    if (session == nullptr) {
        return;
    }
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<double> wave(count, 0.25);
    std::string error;
    for (auto _ : state) {
        amisim::GetWaveReply reply;
        if (!session->start_get_wave(wave.data(), count, 1, error) ||
            !session->finish_get_wave(wave.data(), nullptr, reply, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(wave.data());
    }
    if (count > 0) {
        // Real time per sample.
        state.counters["per_sample"] =
            benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(count),
                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    session->close(error);
}

// The round trip: AMI_GetWave on no samples.
BENCHMARK_CAPTURE(get_wave, hosted_64, AMI_MODEL_LIBRARY, true)->Arg(0)->UseRealTime();
BENCHMARK_CAPTURE(get_wave, hosted_32, AMISIM_DIST_TX_32, true)->Arg(0)->UseRealTime();
// Per sample, 8192-sample blocks.
BENCHMARK_CAPTURE(get_wave, in_process_64, AMI_MODEL_LIBRARY, false)->Arg(8192)->UseRealTime();
BENCHMARK_CAPTURE(get_wave, hosted_64, AMI_MODEL_LIBRARY, true)->Arg(8192)->UseRealTime();
BENCHMARK_CAPTURE(get_wave, hosted_32, AMISIM_DIST_TX_32, true)->Arg(8192)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
