// The equalisation and clock-recovery blocks as the block contract and the
// block-stream fuzzer run them (tests/support/block_adapter.h).
#ifndef AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_ADAPTERS_H
#define AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_ADAPTERS_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/block_adapter.h"

inline std::vector<double> equalisation_contract_stream() {
    return lossy_wave(prbs7_bits(80), 8, 3, 0.5);
}

// Taps one bit apart, optionally with the limits of AdvancedTxFFE; the
// reset clears the history after its block.
struct TxFFEBlock {
    using Record = TxFFE;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr int kFuzzId = 1;
    static constexpr int32_t kMaxTaps = 12;
    struct Args {
        int32_t samples_per_bit;
        int32_t tap_count;
        int32_t tag;
        Values<kMaxTaps> taps;
        bool advanced;
        double max_gain[kMaxTaps];
        double min_gain[kMaxTaps];
        double gain_step[kMaxTaps];
        uint32_t msg_size;
    };

    // Five taps two samples apart.
    static Args contract_args() {
        Args args{};
        args.samples_per_bit = 2;
        args.tap_count = 5;
        args.taps.set({1.2, -0.3, 0.15, -0.05, 0.01});
        return args;
    }
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.samples_per_bit = input.int32_in(-1, 16);
        args.tap_count = input.int32_in(-1, kMaxTaps);
        args.tag = input.int32_in(INT32_MIN, INT32_MAX);
        args.taps.read(input, args.tap_count, 1.0);
        args.advanced = (input.byte() & 1) != 0;
        for (int32_t k = 0; args.advanced && k < args.tap_count; ++k) {
            args.max_gain[k] = input.sample();
            args.min_gain[k] = input.sample();
            args.gain_step[k] = input.sample() / 16.0;
        }
        args.msg_size = static_cast<uint32_t>(input.int32_in(0, 256));
        return args;
    }
    static std::vector<double> contract_stream() { return equalisation_contract_stream(); }
    static Record setup(const Args &args) {
        TxFFE ffe = SetupTxFFE(args.samples_per_bit, args.tap_count, args.tag, args.taps.get());
        if (args.advanced) {
            char msg[257] = {};
            AdvancedTxFFE(ffe, args.max_gain, args.min_gain, args.gain_step, msg, args.msg_size);
            FUZZ_CHECK(std::strlen(msg) < (args.msg_size > 0 ? args.msg_size : 1));
        }
        return ffe;
    }
    static void apply(const Record &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t reset, double *out, std::vector<double> & /*side*/) {
        ApplyTxFFE(in, count, record, reset, out);
    }
    static void remove(const Record &record) { DeleteTxFFE(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

// Level estimated from an impulse response; every call measures its own
// block, so cutting the stream changes the result. The reset slot carries
// hold.
struct AGCBlock {
    using Record = AGC;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr int kFuzzId = 2;
    static constexpr int32_t kMaxLength = 64;
    struct Args {
        double target;
        int32_t length;
        double impulse[kMaxLength];
        double sample_interval;
        int32_t samples_per_bit;
    };

    static Args contract_args() {
        Args args{0.4, kMaxLength, {}, 1e-12, 8};
        for (int i = 0; i < kMaxLength; ++i) {
            args.impulse[i] = 1e11 * std::exp(-0.2 * i);
        }
        return args;
    }
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.target = input.sample();
        args.length = input.int32_in(-1, kMaxLength);
        for (int32_t k = 0; k < args.length; ++k) {
            args.impulse[k] = input.sample() * 1e11;
        }
        args.sample_interval = fuzz_sample_interval(input);
        args.samples_per_bit = input.int32_in(-1, 16);
        return args;
    }
    static std::vector<double> contract_stream() { return equalisation_contract_stream(); }
    static Record setup(const Args &args) {
        return SetupAGC(args.target, args.impulse, args.length, args.sample_interval,
                        args.samples_per_bit);
    }
    static void apply(const Record &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t hold, double *out, std::vector<double> & /*side*/) {
        ApplyAGC(in, count, record, hold, out);
    }
    static void remove(const Record &record) { DeleteAGC(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return false; }
};

// On waveforms the taps adapt sample by sample, with one decisions array
// for every call, so cuts do not matter; an impulse response is measured
// as a whole.
struct DFEBlock {
    using Record = DFE;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr int kFuzzId = 3;
    static constexpr int32_t kMaxTaps = 10;
    struct Args {
        int32_t tap_count;
        Values<kMaxTaps> taps;
        int32_t samples_per_bit;
        double min_tap, max_tap, tap_resolution, adapt_step;
        const char *mode;
        int32_t impulse;
        double sample_interval;
        Values<kMaxTaps> decisions;
    };

    // The waveform path adapting its eight taps.
    static Args contract_args() {
        Args args{};
        args.tap_count = 8;
        args.taps.set({-0.1, 0.04, -0.02, 0.01, 0.0, -0.005, 0.003, 0.0});
        args.samples_per_bit = 8;
        args.min_tap = -0.2;
        args.max_tap = 0.2;
        args.tap_resolution = 0.001;
        args.adapt_step = 0.01;
        args.mode = "adapt";
        args.decisions.set({0.5, -0.5, -0.5, 0.5, 0.5, 0.5, -0.5, 0.5});
        return args;
    }
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.tap_count = input.int32_in(-1, kMaxTaps);
        args.taps.read(input, args.tap_count, 0.25);
        args.samples_per_bit = input.int32_in(-1, 8);
        args.min_tap = input.sample() / 4.0;
        args.max_tap = input.sample() / 4.0;
        args.tap_resolution = input.sample() / 256.0;
        args.adapt_step = input.sample() / 16.0;
        args.mode = fuzz_mode_keyword(input);
        args.impulse = input.byte() & 1;
        args.sample_interval = fuzz_sample_interval(input);
        args.decisions.read(input, kMaxTaps, 1.0);
        return args;
    }
    static std::vector<double> contract_stream() { return equalisation_contract_stream(); }
    static Record setup(const Args &args) {
        char msg[257] = {};
        return SetupDFE(args.tap_count, args.taps.get(), args.samples_per_bit, args.min_tap,
                        args.max_tap, args.tap_resolution, args.mode, args.adapt_step, msg, 256);
    }
    static void apply(const Record &record, const Args &args, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> & /*side*/) {
        ApplyDFE(in, count, record, args.impulse, args.sample_interval, args.decisions.get(), out);
    }
    static void remove(const Record &record) { DeleteDFE(record); }
    static bool splits_like_one_run(const Args &args) { return args.impulse == 0; }
};

// The CDR writes no waveform: its output is the input, unchanged, and what
// it does goes to side: every tick's time and, with read_decisions, the data
// decision it shifted into the history (found there after the call, newest
// first). Every call writes from clock index 0 into an array with room for
// a tick per sample and one more.
struct CDRBlock {
    using Record = CDR;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr int kFuzzId = 4;
    struct Args {
        const char *mode;
        double phase_step;
        int32_t max_threshold;
        double freq_offset;
        int32_t decision_count;
        int32_t samples_per_bit;
        double dfe_tap;
        double invert_time;
        int32_t reference_clock;
        double sample_interval;
        // The decisions can be read back only while the history holds every
        // tick of a call, which fuzzed arguments do not promise.
        bool read_decisions;
    };

    static Args contract_args() {
        return Args{"auto", 1.0 / 16, 4, 0.001, 128, 8, 0.1, 0.0, 0, 1e-12, true};
    }
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.mode = fuzz_mode_keyword(input);
        args.phase_step = input.sample() / 8.0;
        args.max_threshold = input.int32_in(-2, 16);
        args.freq_offset = input.sample() / 64.0;
        args.decision_count = input.int32_in(-1, 64);
        args.samples_per_bit = input.int32_in(-1, 16);
        args.dfe_tap = input.sample() / 4.0;
        args.invert_time = input.sample() * 1e-9;
        args.reference_clock = input.byte() & 1;
        args.sample_interval = fuzz_sample_interval(input);
        return args;
    }
    static std::vector<double> contract_stream() { return equalisation_contract_stream(); }
    static Record setup(const Args &args) {
        char msg[257] = {};
        CDR cdr = SetupCDR(args.mode, args.phase_step, args.max_threshold, args.freq_offset,
                           args.decision_count, args.samples_per_bit, args.dfe_tap,
                           args.invert_time, msg, 256);
        EnableReferenceClk(&cdr, args.reference_clock);
        return cdr;
    }
    static void apply(const Record &record, const Args &args, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> &side) {
        const std::size_t room = static_cast<std::size_t>(std::max(count, 0)) + 1;
        std::vector<double> clock(room, 0.0);
        const int32_t ticks = ApplyCDR(in, count, record, args.sample_interval, 0, clock.data());
        FUZZ_CHECK(ticks >= 0 && static_cast<std::size_t>(ticks) < room);
        FUZZ_CHECK(!args.read_decisions || ticks <= record.decision_count);
        for (int32_t i = 0; i < ticks; ++i) {
            side.push_back(clock[static_cast<std::size_t>(i)]);
            if (args.read_decisions) {
                side.push_back(record.decisions[ticks - 1 - i]);
            }
        }
        if (out != in) {
            std::copy(in, in + std::max(count, 0), out);
        }
    }
    static void remove(const Record &record) { DeleteCDR(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

using EqualisationBlocks = BlockList<TxFFEBlock, AGCBlock, DFEBlock, CDRBlock>;

#endif  // AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_ADAPTERS_H
