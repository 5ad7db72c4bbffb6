// The channel-shaping blocks as the block contract and the block-stream
// fuzzer run them (tests/support/block_adapter.h).
#ifndef AMI_BLOCKS_SHAPING_SHAPING_TEST_ADAPTERS_H
#define AMI_BLOCKS_SHAPING_SHAPING_TEST_ADAPTERS_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/block_adapter.h"

// Steps and a tone, so that every window and pole sees edges and slopes.
inline std::vector<double> shaping_contract_stream() {
    std::vector<double> stream(300);
    for (std::size_t t = 0; t < stream.size(); ++t) {
        stream[t] = std::sin(0.3 * static_cast<double>(t)) + ((t / 17) % 2 == 0 ? 0.5 : -0.5);
    }
    return stream;
}

// The blocks set up from a sample interval and up to two more values, a
// gain and a duration, with a reset that clears the state after its block.
template <typename R, void (*Apply)(const double *, int32_t, R, int32_t, double *),
          void (*Delete)(R)>
struct ShapingBlock {
    using Record = R;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    struct Args {
        double sample_interval;
        double gain;
        double duration;
    };
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.sample_interval = fuzz_sample_interval(input);
        args.gain = input.sample();
        args.duration = fuzz_duration(input, args.sample_interval);
        return args;
    }
    static std::vector<double> contract_stream() { return shaping_contract_stream(); }
    static void apply(const Record &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t reset, double *out, std::vector<double> & /*side*/) {
        Apply(in, count, record, reset, out);
    }
    static void remove(const Record &record) { Delete(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

// A delay of 7 samples.
struct DelayBlock : ShapingBlock<DelayLine, ApplyDelay, DeleteDelay> {
    static constexpr int kFuzzId = 5;
    static Args contract_args() { return {1e-9, 0.0, 7e-9}; }
    static DelayLine setup(const Args &args) {
        return SetupDelay(args.duration, args.sample_interval);
    }
};
// A ramp of 5.5 samples, its last tap a remainder.
struct SlopeBlock : ShapingBlock<Slope, ApplySlope, DeleteSlope> {
    static constexpr int kFuzzId = 6;
    static Args contract_args() { return {1e-12, 0.0, 5.5e-12}; }
    static Slope setup(const Args &args) { return SetupSlope(args.duration, args.sample_interval); }
};
// A tooth of 9 samples.
struct SawtoothBlock : ShapingBlock<Sawtooth, ApplySawtooth, DeleteSawtooth> {
    static constexpr int kFuzzId = 7;
    static Args contract_args() { return {1e-12, 1.5, 9e-12}; }
    static Sawtooth setup(const Args &args) {
        return SetSawtooth(args.sample_interval, args.gain, args.duration);
    }
};
// Time scales of a few samples.
struct RiseFallBlock : ShapingBlock<RiseFall, ApplyRiseFall, DeleteRiseFall> {
    static constexpr int kFuzzId = 8;
    static Args contract_args() { return {1e-12, 0.0, 6e-12}; }
    static RiseFall setup(const Args &args) {
        return SetRiseFall(args.sample_interval, args.duration);
    }
};
struct RayleighBlock : ShapingBlock<Rayleigh, ApplyRayleigh, DeleteRayleigh> {
    static constexpr int kFuzzId = 9;
    static Args contract_args() { return {1e-12, 0.8, 10e-12}; }
    static Rayleigh setup(const Args &args) {
        return SetRayleigh(args.sample_interval, args.gain, args.duration);
    }
};
struct TriangleBlock : ShapingBlock<Triangle, ApplyTriangle, DeleteTriangle> {
    static constexpr int kFuzzId = 10;
    static Args contract_args() { return {1e-12, 1.2, 4e-12}; }
    static Triangle setup(const Args &args) {
        return SetTriangle(args.sample_interval, args.gain, args.duration);
    }
};

// A table of strictly increasing points (anything else aborts by contract);
// no state, no reset.
struct TableBlock {
    using Record = Table;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr int kFuzzId = 11;
    static constexpr int32_t kMaxPoints = 40;
    struct Args {
        int32_t npts;
        double x[kMaxPoints];
        double y[kMaxPoints];
    };

    // A soft limiter of five points.
    static Args contract_args() {
        return {5, {-1.0, -0.5, 0.0, 0.5, 1.0}, {-0.6, -0.45, 0.0, 0.45, 0.6}};
    }
    static Args fuzz_args(FuzzInput &input) {
        Args args{};
        args.npts = input.int32_in(2, kMaxPoints);
        // Steps of 1/32 to 8 from a start on the grid of 1/64: never lost
        // to rounding, so the axis always increases.
        double x = (static_cast<double>(input.byte()) - 128.0) / 64.0;
        for (int32_t k = 0; k < args.npts; ++k) {
            args.x[k] = x;
            args.y[k] = input.sample();
            x += static_cast<double>(input.byte() + 1) / 32.0;
        }
        return args;
    }
    static std::vector<double> contract_stream() { return shaping_contract_stream(); }
    static Record setup(const Args &args) { return SetTable(args.npts, args.x, args.y); }
    static void apply(const Record &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> & /*side*/) {
        ApplyTable(in, count, record, out);
    }
    static void remove(const Record &record) { DeleteTable(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

using ShapingBlocks = BlockList<DelayBlock, SlopeBlock, SawtoothBlock, RiseFallBlock, RayleighBlock,
                                TriangleBlock, TableBlock>;

#endif  // AMI_BLOCKS_SHAPING_SHAPING_TEST_ADAPTERS_H
