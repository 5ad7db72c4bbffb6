// The stand-in's cost per bit: the stimulus through the channel into both
// eyes, with and without a model call (AMI_GetWave with pre-emphasis on),
// for the default channel (4096 taps, FFT overlap-add) and a short one
// (direct sums); and the convolution alone, direct beside FFT, by channel
// length, which sets where the stand-in switches from one to the other.
// Each first checks that the FFT and the direct sums agree. The whole link
// (transmitter, default channel, the kit's example receiver with the eye at
// its clock) beside the receiver's AMI_GetWave alone (the eyes alone are
// analysis/eye_bench's), with the error-rate analysis and aggressors, and
// through the pipeline with the models in this process or hosted. And the
// one-off cost of a Touchstone channel: a 4-port file of 2000 frequencies
// read, and read and converted to the impulse response.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tools/amisim/analysis/clocked_eye.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"
#include "tools/amisim/models/hosted_session.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/run/pipeline.h"
#include "tools/amisim/run/stream.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

#ifndef EXAMPLE_RX_LIBRARY
#define EXAMPLE_RX_LIBRARY "Example_Rx_64.so"
#endif

namespace {

constexpr double kDt = 3.125e-12;
constexpr int kSpb = 32;

std::vector<double> default_taps() {
    const amisim::Channel channel = amisim::default_channel({}, kDt, 128 * kSpb);
    std::vector<double> taps;
    for (double h : channel.columns[0]) {
        taps.push_back(h * kDt);
    }
    return taps;
}

std::vector<double> short_taps(std::size_t count) {
    std::vector<double> taps(count);
    for (std::size_t k = 0; k < count; ++k) {
        taps[k] = 0.2 * std::exp(-static_cast<double>(k) / 9.0);
    }
    return taps;
}

// The two convolutions of the same stimulus agree to within rounding.
bool fft_matches_direct(const std::vector<double> &taps) {
    std::vector<double> fft(50000);
    std::vector<double> direct(fft.size());
    amisim::NrzSource a(7, kSpb);
    amisim::NrzSource b(7, kSpb);
    amisim::ChannelStream(taps, a, amisim::Convolution::kFft).read(fft.data(), fft.size());
    amisim::ChannelStream(taps, b, amisim::Convolution::kDirect).read(direct.data(), direct.size());
    for (std::size_t i = 0; i < fft.size(); ++i) {
        if (std::fabs(fft[i] - direct[i]) > 1e-12) {
            return false;
        }
    }
    return true;
}

// A model instance with pre-emphasis on for TX_Corner 1.
struct Model {
    Model() {
        char parameters[] = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
        char *params_out = nullptr;
        char *msg = nullptr;
        AMI_Init(nullptr, 0, -1, kDt, kSpb * kDt, parameters, &params_out, &memory, &msg);
    }
    ~Model() { AMI_Close(memory); }
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;
    void *memory = nullptr;
};

amisim::StreamSetup setup_for(std::vector<double> taps, std::int64_t bits) {
    amisim::StreamSetup setup;
    setup.taps = std::move(taps);
    setup.samples_per_bit = kSpb;
    setup.sample_interval = kDt;
    setup.bits = bits;
    for (amisim::EyeLayout *layout : {&setup.eye_before, &setup.eye_after}) {
        layout->samples_per_bit = kSpb;
        layout->centre = 36;
        layout->settle_bits = 129;
        layout->expected_swing = 0.5;
    }
    return setup;
}

void report_bits(benchmark::State &state, std::int64_t bits) {
    const double samples =
        static_cast<double>(state.iterations()) * static_cast<double>(bits) * kSpb;
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["ns/bit"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(bits),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void stream(benchmark::State &state, std::vector<double> taps, bool with_model) {
    if (taps.size() > amisim::kDirectTapLimit && !fft_matches_direct(taps)) {
        state.SkipWithError("the FFT overlap-add and the direct sums differ");
        return;
    }
    const auto bits = static_cast<std::int64_t>(state.range(0));
    const amisim::StreamSetup setup = setup_for(std::move(taps), bits);
    Model model;
    amisim::BlockModel get_wave;
    if (with_model) {
        get_wave = [&](double *wave, std::size_t count) {
            char *params_out = nullptr;
            return AMI_GetWave(wave, static_cast<long>(count), nullptr, &params_out,
                               model.memory) != 0;
        };
    }
    for (auto _ : state) {
        amisim::StreamResult result;
        std::string error;
        if (!amisim::run_stream(setup, get_wave, result, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(result.before->samples());
    }
    report_bits(state, bits);
}

void BM_Stream_DefaultChannel(benchmark::State &state) {
    stream(state, default_taps(), false);
}
void BM_Stream_DefaultChannel_WithModel(benchmark::State &state) {
    stream(state, default_taps(), true);
}
void BM_Stream_48Taps(benchmark::State &state) {
    stream(state, short_taps(48), false);
}
void BM_Stream_48Taps_WithModel(benchmark::State &state) {
    stream(state, short_taps(48), true);
}
// The default channel summed directly: what the FFT saves.
void BM_Stream_DefaultChannel_DirectSums(benchmark::State &state) {
    amisim::StreamSetup setup = setup_for(default_taps(), state.range(0));
    setup.convolution = amisim::Convolution::kDirect;
    for (auto _ : state) {
        amisim::StreamResult result;
        std::string error;
        amisim::run_stream(setup, {}, result, error);
        benchmark::DoNotOptimize(result.before->samples());
    }
    report_bits(state, state.range(0));
}

// The convolution alone, per sample.
void convolution(benchmark::State &state, amisim::Convolution method) {
    const std::vector<double> taps = short_taps(static_cast<std::size_t>(state.range(0)));
    amisim::NrzSource source(7, kSpb);
    amisim::ChannelStream channel(taps, source, method);
    if (channel.method() != method) {
        state.SkipWithError("no FFT in this build");
        return;
    }
    std::vector<double> out(1 << 16);
    for (auto _ : state) {
        channel.read(out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
    state.counters["ns/sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(out.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// The default channel through FFTs of each size.
void BM_Convolution_Fft_DefaultChannel(benchmark::State &state) {
    amisim::NrzSource source(7, kSpb);
    amisim::ChannelStream channel(default_taps(), source, amisim::Convolution::kFft,
                                  static_cast<std::size_t>(state.range(0)));
    std::vector<double> out(1 << 18);
    for (auto _ : state) {
        channel.read(out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns/sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(out.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_Convolution_Direct(benchmark::State &state) {
    convolution(state, amisim::Convolution::kDirect);
}
void BM_Convolution_Fft(benchmark::State &state) {
    convolution(state, amisim::Convolution::kFft);
}

// The kit's example receiver, loaded as the stand-in loads it, with its
// default parameters.
struct ExampleRx {
    ExampleRx() {
        std::string error;
        if (!library.open(EXAMPLE_RX_LIBRARY, error)) {
            return;
        }
        std::vector<double> impulse(4 * kSpb, 0.0);
        impulse[0] = 1.0 / kDt;
        char parameters[] = "(Example_Rx (DFE_Mode auto))";
        char *params_out = nullptr;
        char *msg = nullptr;
        if (library.init(impulse.data(), static_cast<long>(impulse.size()), 0, kDt, kSpb * kDt,
                         parameters, &params_out, &memory, &msg) == 0) {
            memory = nullptr;
        }
    }
    ~ExampleRx() {
        if (memory != nullptr) {
            library.close(memory);
        }
    }
    ExampleRx(const ExampleRx &) = delete;
    ExampleRx &operator=(const ExampleRx &) = delete;
    amisim::ModelLibrary library;
    void *memory = nullptr;
};

// The link's stream: the default channel (FFT), three eyes.
amisim::StreamSetup link_setup(std::int64_t bits) {
    amisim::StreamSetup setup = setup_for(default_taps(), bits);
    setup.clocked_eye = true;
    setup.eye_clocked.samples_per_bit = kSpb;
    setup.eye_clocked.sample_interval = kDt;
    setup.eye_clocked.centre = 36;
    setup.eye_clocked.settle_bits = 129;
    setup.eye_clocked.expected_swing = 1.0;
    return setup;
}

// The transmitter, the stream and the example receiver, per bit; each
// aggressor of the setup through an instance of its own of the
// transmitter.
void link(benchmark::State &state, const amisim::StreamSetup &setup) {
    const std::size_t aggressors =
        setup.impairments.has_value() ? setup.impairments->aggressors.size() : 0;
    for (auto _ : state) {
        Model tx;
        std::vector<std::unique_ptr<Model>> aggressor_models;
        std::vector<amisim::BlockModel> aggressor_transmitters;
        auto get_wave = [](Model &model) {
            return [&model](double *wave, std::size_t count) {
                char *params_out = nullptr;
                return AMI_GetWave(wave, static_cast<long>(count), nullptr, &params_out,
                                   model.memory) != 0;
            };
        };
        for (std::size_t k = 0; k < aggressors; ++k) {
            aggressor_transmitters.emplace_back(
                get_wave(*aggressor_models.emplace_back(std::make_unique<Model>())));
        }
        ExampleRx rx;
        if (rx.memory == nullptr) {
            state.SkipWithError("cannot load " EXAMPLE_RX_LIBRARY);
            return;
        }
        std::vector<double> clock_times(static_cast<std::size_t>(setup.bits_per_call) * kSpb + 1);
        const amisim::ReceiverModel receiver = [&](double *wave, std::size_t count,
                                                   amisim::BlockTicks &ticks) {
            std::fill_n(clock_times.begin(), count + 1, -1.0);
            char *params_out = nullptr;
            if (rx.library.get_wave(wave, static_cast<long>(count), clock_times.data(), &params_out,
                                    rx.memory) == 0) {
                return false;
            }
            std::size_t n = 0;
            while (n <= count && clock_times[n] > 0.0) {
                ++n;
            }
            ticks = {clock_times.data(), n};
            return true;
        };
        amisim::StreamResult result;
        std::string error;
        if (!amisim::run_link(setup, get_wave(tx), receiver, result, error,
                              aggressor_transmitters)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(result.clocked->density().samples());
    }
    report_bits(state, setup.bits);
}

void BM_Link_DefaultChannel_ExampleRx(benchmark::State &state) {
    link(state, link_setup(state.range(0)));
}

// The same link with the error-rate analysis: the transmitter's jitter,
// noise at the receiver's input and at its decisions, the receiver's
// jitter, the errors counted and the crossings' jitter measured; with
// argument 1 also two aggressors (the default channel scaled), each through
// an instance of its own of the transmitter. Its time beside
// BM_Link_DefaultChannel_ExampleRx's is what the analysis adds (here every
// model runs in this process, the aggressors' transmitters in the thread
// beside the stream; the stand-in runs them in hosts of their own).
void BM_Link_DefaultChannel_ExampleRx_ErrorRate(benchmark::State &state) {
    amisim::StreamSetup setup = link_setup(100000);
    amisim::StreamImpairments &impaired = setup.impairments.emplace();
    impaired.stimulus.samples_per_bit = kSpb;
    impaired.stimulus.sample_interval = kDt;
    impaired.stimulus.jitter = {0.3e-12, 1e-12, 0.0, 0.0, 0.5e-12};
    impaired.noise = 0.01;
    impaired.meters.count.samples_per_bit = kSpb;
    impaired.meters.count.latency = 36;
    impaired.meters.count.settle_bits = 129;
    impaired.meters.count.noise_sigma = 0.01;
    impaired.meters.sample_interval = kDt;
    impaired.meters.rx_jitter = {0.3e-12, 0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < (state.range(0) != 0 ? 2 : 0); ++k) {
        amisim::AggressorPath path;
        path.taps = default_taps();
        for (double &tap : path.taps) {
            tap *= k == 0 ? 0.06 : -0.04;
        }
        path.stimulus = impaired.stimulus;
        path.stimulus.pattern = {0, static_cast<std::uint64_t>(7 + k), 0};
        path.delay = static_cast<std::size_t>(5 + 11 * k);
        impaired.aggressors.push_back(path);
    }
    link(state, setup);
}

// The example receiver's AMI_GetWave alone, per sample, on the default
// channel's output.
void BM_ExampleRx_GetWave(benchmark::State &state) {
    std::vector<double> channel_out(1 << 16);
    amisim::NrzSource source(7, kSpb);
    amisim::ChannelStream(default_taps(), source, amisim::Convolution::kFft)
        .read(channel_out.data(), channel_out.size());
    ExampleRx rx;
    if (rx.memory == nullptr) {
        state.SkipWithError("cannot load " EXAMPLE_RX_LIBRARY);
        return;
    }
    std::vector<double> wave(channel_out.size());
    std::vector<double> clock_times(wave.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        wave = channel_out;
        clock_times[0] = -1.0;
        state.ResumeTiming();
        char *params_out = nullptr;
        rx.library.get_wave(wave.data(), static_cast<long>(wave.size()), clock_times.data(),
                            &params_out, rx.memory);
        benchmark::DoNotOptimize(wave.data());
    }
    state.counters["ns/sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(wave.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

// A pair of lossy lines with 1 ns of delay, 1 -> 2 and 3 -> 4, at 2000
// frequencies from 10 MHz to 20 GHz, in RI: 8000 lines, 1.2 MB.
std::string touchstone_4port_file() {
    const std::string path = "/tmp/amisim_bench_pair.s4p";
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return "";
    }
    std::fprintf(file, "# Hz S RI R 50\n");
    for (int k = 1; k <= 2000; ++k) {
        const double f = 10e6 * k;
        const std::complex<double> h =
            std::polar(std::exp(-1e-5 * std::sqrt(f)), -2.0 * 3.14159265358979 * f * 1e-9);
        const std::complex<double> s[4][4] = {
            {0.05, h, 0.0, 0.0}, {h, 0.05, 0.0, 0.0}, {0.0, 0.0, 0.05, h}, {0.0, 0.0, h, 0.05}};
        std::fprintf(file, "%.10g", f);
        for (const auto &row : s) {
            for (const auto &v : row) {
                std::fprintf(file, " %.12g %.12g", v.real(), v.imag());
            }
            std::fprintf(file, "\n");
        }
    }
    std::fclose(file);
    return path;
}

void BM_Touchstone_Read4Port2000(benchmark::State &state) {
    const std::string path = touchstone_4port_file();
    for (auto _ : state) {
        amisim::Network network;
        std::string error;
        if (!amisim::read_touchstone(path, network, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(network.s.data());
    }
    std::remove(path.c_str());
}

void BM_Touchstone_ReadAndConvert4Port2000(benchmark::State &state) {
    const std::string path = touchstone_4port_file();
    for (auto _ : state) {
        amisim::Channel channel;
        std::string error;
        if (!amisim::read_touchstone_channel(path, "", kDt, channel, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(channel.columns[0].data());
    }
    std::remove(path.c_str());
}

BENCHMARK(BM_ExampleRx_GetWave);
BENCHMARK(BM_Link_DefaultChannel_ExampleRx)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Link_DefaultChannel_ExampleRx_ErrorRate)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Touchstone_Read4Port2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Touchstone_ReadAndConvert4Port2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream_DefaultChannel)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream_DefaultChannel_WithModel)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream_48Taps)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream_48Taps_WithModel)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream_DefaultChannel_DirectSums)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convolution_Fft_DefaultChannel)->RangeMultiplier(2)->Range(8192, 131072);
BENCHMARK(BM_Convolution_Direct)->RangeMultiplier(2)->Range(16, 512);
BENCHMARK(BM_Convolution_Fft)->RangeMultiplier(2)->Range(16, 512);

// The whole link through the pipeline, as the program runs it: the model
// with pre-emphasis, the built-in channel, the kit's example receiver,
// both models in this process, both hosted (each in its own process, a
// block in flight), and the 32-bit build of the model hosted; NRZ bits or
// PAM4 symbols (each eye at its own centre, the receiver told PAM4).
void BM_Pipeline_Link(benchmark::State &state) {
    const auto bits = static_cast<std::int64_t>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const int levels = static_cast<int>(state.range(2));
    amisim::RunSetting setting;
    setting.dt = kDt;
    setting.spb = kSpb;
    setting.bits = bits;
    setting.channel = amisim::default_channel({}, kDt, 128 * kSpb);
    setting.model_path = mode == 2 ? AMISIM_DIST_TX_32 : AMI_MODEL_LIBRARY;
    setting.parameters = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
    setting.rx_path = EXAMPLE_RX_LIBRARY;
    setting.rx_parameters = "(Example_Rx (DFE_Mode auto))";
    if (levels == 4) {
        setting.levels = amisim::pam_levels(4);
        setting.thresholds.clear();
        setting.rx_parameters = "(Example_Rx (DFE_Mode auto) (Rx_Modulation PAM4))";
    }
    amisim::HostedOptions hosted;
    hosted.host_64 = AMISIM_HOST_64;
    hosted.host_32 = AMISIM_HOST_32;
    for (auto _ : state) {
        std::string error;
        auto open = [&](const std::string &path) {
            return mode == 0 ? amisim::open_in_process(path, error)
                             : amisim::open_hosted(path, hosted, error);
        };
        auto tx = open(setting.model_path);
        auto rx = open(setting.rx_path);
        if (tx == nullptr || rx == nullptr) {
            state.SkipWithError(error.c_str());
            return;
        }
        amisim::RunResults results;
        if (amisim::run_pipeline(setting, *tx, rx.get(), results) != 0) {
            state.SkipWithError(results.failure.c_str());
            return;
        }
        benchmark::DoNotOptimize(results.at_clock);
    }
    report_bits(state, bits);
}

BENCHMARK(BM_Pipeline_Link)
    ->ArgNames({"bits", "hosted", "levels"})
    ->Args({200000, 0, 2})
    ->Args({200000, 0, 4})
    ->Args({200000, 1, 2})
    ->Args({200000, 1, 4})
    ->Args({200000, 2, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
