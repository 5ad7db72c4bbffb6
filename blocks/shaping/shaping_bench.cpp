// Cost per sample of the shaping blocks, each beside a literal
// transcription of its steps (state in the record's heap cells every
// sample, indices stepped with a modulo, histories shifted through memory)
// and, for the recursive filters, beside a transcription that keeps every
// state value in a local variable. Each benchmark first checks that the
// library and the transcriptions give bit-identical samples and final
// state, and reports an error instead of a timing if they do not.
// ShapingDurationIndependence times the slope and sawtooth filters with
// windows of 4 and 4000 samples in one loop and reports the ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_literal.h"
#include "common/reproducible_math.h"
#include "tests/support/bench_support.h"

namespace {

constexpr int32_t kBlock = 4096;

template <typename Record>
using ApplyFunction = void (*)(const double *, int32_t, Record, int32_t, double *);

// The state each record holds, for comparing two records bit for bit.
std::vector<double> state_of(const DelayLine &r) {
    std::vector<double> s(r.buffer, r.buffer + r.length);
    s.push_back(*r.position);
    return s;
}
template <typename Record>
std::vector<double> window_state_of(const Record &r) {
    std::vector<double> s(r.buffer, r.buffer + r.length);
    s.push_back(*r.position);
    s.push_back(*r.accumulator);
    return s;
}
std::vector<double> state_of(const Slope &r) {
    return window_state_of(r);
}
std::vector<double> state_of(const Sawtooth &r) {
    return window_state_of(r);
}
std::vector<double> state_of(const RiseFall &r) {
    return {r.input_history[0], r.input_history[1], r.input_history[2], r.output_history[0],
            r.output_history[1]};
}
std::vector<double> state_of(const Rayleigh &r) {
    return {r.input_history[0],  r.input_history[1],  r.input_history[2], r.input_history[3],
            r.output_history[0], r.output_history[1], r.output_history[2]};
}
std::vector<double> state_of(const Triangle &r) {
    return {r.input_history[0], r.input_history[1], r.output_history[0]};
}

// Runs one stream through two records of the same setup in uneven pieces
// (a reset on one of them) with the two functions; true if samples and
// final state agree bit for bit.
template <typename Record>
bool agree(Record (*setup)(), void (*remove)(Record), ApplyFunction<Record> run,
           ApplyFunction<Record> reference, bool with_reset = true) {
    std::vector<double> input = bit_stream(3 * kBlock + 17, 5);
    for (std::size_t t = 0; t < input.size(); ++t) {
        input[t] += 0.25 * std::sin(0.05 * static_cast<double>(t));
    }
    Record a = setup();
    Record b = setup();
    std::vector<double> out_a(input.size());
    std::vector<double> out_b(input.size());
    std::size_t done = 0;
    for (std::size_t size : {std::size_t{1}, std::size_t{5}, std::size_t{kBlock}, std::size_t{0},
                             std::size_t{999}, input.size()}) {
        const auto count = static_cast<int32_t>(std::min(size, input.size() - done));
        const int32_t reset = with_reset && size == 5 ? 1 : 0;
        run(input.data() + done, count, a, reset, out_a.data() + done);
        reference(input.data() + done, count, b, reset, out_b.data() + done);
        done += static_cast<std::size_t>(count);
    }
    const std::vector<double> state_a = state_of(a);
    const std::vector<double> state_b = state_of(b);
    const bool same = same_bits(out_a.data(), out_b.data(), input.size()) &&
                      state_a.size() == state_b.size() &&
                      same_bits(state_a.data(), state_b.data(), state_a.size());
    remove(a);
    remove(b);
    return same;
}

// Times one apply function on blocks of kBlock samples, after checking it
// and the transcription against the literal one.
template <typename Record>
void time_block(benchmark::State &state, Record (*setup)(), void (*remove)(Record),
                ApplyFunction<Record> run, ApplyFunction<Record> library,
                ApplyFunction<Record> literal) {
    if (!agree(setup, remove, library, literal) ||
        !agree(setup, remove, run, literal, run == library)) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    const std::vector<double> input = bit_stream(kBlock);
    std::vector<double> output(kBlock);
    Record record = setup();
    for (auto _ : state) {
        run(input.data(), kBlock, record, 0, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    remove(record);
    count_samples(state, kBlock);
}

// The three variants of one block under one name.
template <typename Record>
void register_block(const std::string &name, Record (*setup)(), void (*remove)(Record),
                    ApplyFunction<Record> library, ApplyFunction<Record> literal,
                    ApplyFunction<Record> registers = nullptr) {
    benchmark::RegisterBenchmark((name).c_str(), [=](benchmark::State &state) {
        time_block(state, setup, remove, library, library, literal);
    });
    benchmark::RegisterBenchmark((name + "_Literal").c_str(), [=](benchmark::State &state) {
        time_block(state, setup, remove, literal, library, literal);
    });
    if (registers != nullptr) {
        benchmark::RegisterBenchmark((name + "_Registers").c_str(), [=](benchmark::State &state) {
            time_block(state, setup, remove, registers, library, literal);
        });
    }
}

// Slope or sawtooth with windows of 4 and 4000 samples, alternating in
// one loop; the ratio of their times per sample.
template <typename Record>
void duration_independence(benchmark::State &state, Record (*short_window)(),
                           Record (*long_window)(), void (*remove)(Record),
                           ApplyFunction<Record> run) {
    using Clock = std::chrono::steady_clock;
    const std::vector<double> input = bit_stream(kBlock);
    std::vector<double> output(kBlock);
    Record a = short_window();
    Record b = long_window();
    Clock::duration short_time{};
    Clock::duration long_time{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        run(input.data(), kBlock, a, 0, output.data());
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        run(input.data(), kBlock, b, 0, output.data());
        benchmark::ClobberMemory();
        short_time += t1 - t0;
        long_time += Clock::now() - t1;
    }
    remove(a);
    remove(b);
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    const double short_ns = std::chrono::duration<double, std::nano>(short_time).count();
    const double long_ns = std::chrono::duration<double, std::nano>(long_time).count();
    state.counters["ns/sample n=4"] = short_ns / samples;
    state.counters["ns/sample n=4000"] = long_ns / samples;
    state.counters["ratio"] = long_ns / short_ns;
}

Table make_table() {
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 64; ++i) {
        x.push_back(-1.0 + i / 31.5);
        y.push_back(std::tanh(2.0 * x.back()));
    }
    return SetTable(64, x.data(), y.data());
}

void time_table(benchmark::State &state, void (*run)(const double *, int32_t, Table, double *)) {
    std::vector<double> input = bit_stream(kBlock, 5);
    for (std::size_t t = 0; t < input.size(); ++t) {
        input[t] = 1.6 * input[t] + 0.3 * std::sin(0.01 * static_cast<double>(t));
    }
    Table table = make_table();
    std::vector<double> fast(kBlock);
    std::vector<double> slow(kBlock);
    ApplyTable(input.data(), kBlock, table, fast.data());
    literal_table(input.data(), kBlock, table, slow.data());
    if (!same_bits(fast.data(), slow.data(), fast.size())) {
        state.SkipWithError("library and literal transcription differ");
        DeleteTable(table);
        return;
    }
    for (auto _ : state) {
        run(input.data(), kBlock, table, fast.data());
        benchmark::DoNotOptimize(fast.data());
        benchmark::ClobberMemory();
    }
    DeleteTable(table);
    count_samples(state, kBlock);
}

// A channel response of a bit and a half of 32 samples beyond one PRBS7
// period, and the limiter or table applied through its waveform.
constexpr int32_t kPrbsSamplesPerBit = 32;
constexpr int32_t kPrbsResponse = 127 * kPrbsSamplesPerBit + 48;
constexpr double kPrbsSampleInterval = 1e-12;

std::vector<double> prbs_channel() {
    std::vector<double> h(kPrbsResponse);
    for (std::size_t i = 0; i < h.size(); ++i) {
        const double t = static_cast<double>(i) / 40.0;
        h[i] = t * std::exp(-t) / (40.0 * kPrbsSampleInterval);
    }
    return h;
}

template <typename Nonlinearity>
void time_prbs(benchmark::State &state, const std::vector<double> &h,
               void (*run)(const double *, int32_t, int32_t, double, Nonlinearity, double *),
               void (*library)(const double *, int32_t, int32_t, double, Nonlinearity, double *),
               void (*literal)(const double *, int32_t, int32_t, double, Nonlinearity, double *),
               Nonlinearity nonlinearity) {
    std::vector<double> fast(h.size());
    std::vector<double> slow(h.size());
    library(h.data(), kPrbsResponse, kPrbsSamplesPerBit, kPrbsSampleInterval, nonlinearity,
            fast.data());
    literal(h.data(), kPrbsResponse, kPrbsSamplesPerBit, kPrbsSampleInterval, nonlinearity,
            slow.data());
    if (!same_bits(fast.data(), slow.data(), fast.size())) {
        state.SkipWithError("library and literal transcription differ");
        return;
    }
    for (auto _ : state) {
        run(h.data(), kPrbsResponse, kPrbsSamplesPerBit, kPrbsSampleInterval, nonlinearity,
            fast.data());
        benchmark::DoNotOptimize(fast.data());
        benchmark::ClobberMemory();
    }
    // Per sample of the PRBS7 waveform the nonlinearity acts on.
    count_samples(state, 127 * kPrbsSamplesPerBit);
}

void register_prbs() {
    static const std::vector<double> h = prbs_channel();
    static const Table table = make_table();
    benchmark::RegisterBenchmark("Apply_tanh/32", [](benchmark::State &s) {
        time_prbs<double>(s, h, Apply_tanh, Apply_tanh, literal_apply_tanh, 0.3);
    });
    benchmark::RegisterBenchmark("Apply_tanh/32_Literal", [](benchmark::State &s) {
        time_prbs<double>(s, h, literal_apply_tanh, Apply_tanh, literal_apply_tanh, 0.3);
    });
    benchmark::RegisterBenchmark("ApplyTablePRBS/32", [](benchmark::State &s) {
        time_prbs<Table>(s, h, ApplyTablePRBS, ApplyTablePRBS, literal_apply_table_prbs, table);
    });
    benchmark::RegisterBenchmark("ApplyTablePRBS/32_Literal", [](benchmark::State &s) {
        time_prbs<Table>(s, h, literal_apply_table_prbs, ApplyTablePRBS, literal_apply_table_prbs,
                         table);
    });
    static std::vector<double> pulse(h.size());
    I2P(pulse.data(), h.data(), kPrbsResponse, kPrbsSamplesPerBit, kPrbsSampleInterval);
    benchmark::RegisterBenchmark("PulseTablePRBS/32", [](benchmark::State &s) {
        time_prbs<Table>(s, pulse, PulseTablePRBS, PulseTablePRBS, literal_pulse_table_prbs, table);
    });
    benchmark::RegisterBenchmark("PulseTablePRBS/32_Literal", [](benchmark::State &s) {
        time_prbs<Table>(s, pulse, literal_pulse_table_prbs, PulseTablePRBS,
                         literal_pulse_table_prbs, table);
    });
}

// The cost of one tanh: the library's own beside the system's.
template <double (*Tanh)(double)>
void time_tanh(benchmark::State &state) {
    std::vector<double> x = bit_stream(kBlock, 3);
    for (std::size_t t = 0; t < x.size(); ++t) {
        x[t] = 3.0 * x[t] + std::sin(0.37 * static_cast<double>(t));
    }
    std::vector<double> y(x.size());
    for (auto _ : state) {
        for (std::size_t t = 0; t < x.size(); ++t) {
            y[t] = Tanh(x[t]);
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    count_samples(state, kBlock);
}

double system_tanh(double x) {
    return std::tanh(x);
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    register_block<DelayLine>(
        "ApplyDelay/3", +[] { return SetupDelay(3.0, 1.0); }, DeleteDelay, ApplyDelay,
        literal_delay);
    register_block<DelayLine>(
        "ApplyDelay/100", +[] { return SetupDelay(100.0, 1.0); }, DeleteDelay, ApplyDelay,
        literal_delay);
    register_block<DelayLine>(
        "ApplyDelay/5000", +[] { return SetupDelay(5000.0, 1.0); }, DeleteDelay, ApplyDelay,
        literal_delay);
    register_block<Slope>(
        "ApplySlope/40", +[] { return SetupSlope(39.5, 1.0); }, DeleteSlope, ApplySlope,
        literal_slope, registers_slope);
    register_block<Sawtooth>(
        "ApplySawtooth/40", +[] { return SetSawtooth(1.0, 0.8, 39.5); }, DeleteSawtooth,
        ApplySawtooth, literal_sawtooth, registers_sawtooth);
    register_block<RiseFall>(
        "ApplyRiseFall", +[] { return SetRiseFall(1.0, 10.0); }, DeleteRiseFall, ApplyRiseFall,
        literal_rise_fall, registers_rise_fall);
    register_block<Rayleigh>(
        "ApplyRayleigh", +[] { return SetRayleigh(1.0, 1.0, 10.0); }, DeleteRayleigh, ApplyRayleigh,
        literal_rayleigh, registers_rayleigh);
    register_block<Triangle>(
        "ApplyTriangle", +[] { return SetTriangle(1.0, 1.0, 10.0); }, DeleteTriangle, ApplyTriangle,
        literal_triangle, registers_triangle);
    benchmark::RegisterBenchmark("ShapingDurationIndependence/Slope", [](benchmark::State &s) {
        duration_independence<Slope>(
            s, +[] { return SetupSlope(4.0, 1.0); }, +[] { return SetupSlope(4000.0, 1.0); },
            DeleteSlope, ApplySlope);
    });
    benchmark::RegisterBenchmark("ShapingDurationIndependence/Sawtooth", [](benchmark::State &s) {
        duration_independence<Sawtooth>(
            s, +[] { return SetSawtooth(1.0, 2.0, 4.0); },
            +[] { return SetSawtooth(1.0, 2.0, 4000.0); }, DeleteSawtooth, ApplySawtooth);
    });
    benchmark::RegisterBenchmark("ApplyTable/64",
                                 [](benchmark::State &s) { time_table(s, ApplyTable); });
    benchmark::RegisterBenchmark("ApplyTable/64_Literal",
                                 [](benchmark::State &s) { time_table(s, literal_table); });
    register_prbs();
    benchmark::RegisterBenchmark("reproducible_tanh", time_tanh<ami::reproducible_tanh>);
    benchmark::RegisterBenchmark("system_tanh", time_tanh<system_tanh>);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
