// The blocks of the filter mathematics as the block contract and the
// block-stream fuzzer run them (tests/support/block_adapter.h).
#ifndef AMI_BLOCKS_FILTER_MATH_FILTER_MATH_TEST_ADAPTERS_H
#define AMI_BLOCKS_FILTER_MATH_FILTER_MATH_TEST_ADAPTERS_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/block_adapter.h"

// Configurations of poles and residues, run with one of them.
struct PeakingFilterBlock {
    using Record = PeakingFilter;
    static constexpr ResetRule kReset = ResetRule::kBeforeAndAfter;
    static constexpr int kFuzzId = 0;
    static constexpr int32_t kMaxConfigs = 4;
    static constexpr int32_t kMaxPoles = 14;  // beyond the specialised kernels
    struct Args {
        double sample_interval;
        int32_t pole_count;
        int32_t filter_count;
        int32_t index;
        Complex poles[kMaxConfigs][kMaxPoles];
        Complex residues[kMaxConfigs][kMaxPoles];
        double gains[kMaxConfigs];
    };

    // Two configurations of three poles, run with the second, which has a
    // complex-conjugate pair.
    static Args contract_args() {
        return Args{1e-10,
                    3,
                    2,
                    1,
                    {{cmplx(-1e9, 0), cmplx(-5e8, 0), cmplx(-3e9, 0)},
                     {cmplx(-2e9, 4e9), cmplx(-2e9, -4e9), cmplx(-7e8, 0)}},
                    {{cmplx(1, 0), cmplx(-0.4, 0), cmplx(0.7, 0)},
                     {cmplx(0.5, 0.25), cmplx(0.5, -0.25), cmplx(-0.2, 0)}},
                    {1.0, 1.5}};
    }
    static Args fuzz_args(FuzzInput &input) {
        static const double kIntervals[] = {1e-10, 3.125e-12, 1e-12, 0.0};
        Args args{};
        const uint8_t interval = input.byte();
        args.sample_interval = interval < 0xf0 ? kIntervals[interval % 4] : input.raw_double();
        args.pole_count = input.int32_in(-1, kMaxPoles);
        args.filter_count = input.int32_in(-1, kMaxConfigs);
        args.index = input.int32_in(-2, kMaxConfigs + 1);
        for (int32_t i = 0; i < args.filter_count; ++i) {
            args.gains[i] = input.sample();
            for (int32_t k = 0; k < args.pole_count; ++k) {
                // Poles of up to about 1e10 rad/s either side, residues of
                // a few units, zero among them (it ends a pole list).
                args.poles[i][k] = cmplx(input.sample() * 5e9, input.sample() * 5e9);
                args.residues[i][k] = cmplx(input.sample(), input.sample());
            }
        }
        return args;
    }
    static std::vector<double> contract_stream() {
        std::vector<double> stream(300);
        for (std::size_t t = 0; t < stream.size(); ++t) {
            stream[t] = std::sin(0.7 * static_cast<double>(t)) + (t % 5 == 0 ? 1.0 : 0.0);
        }
        return stream;
    }
    static Record setup(const Args &args) {
        Complex *poles[kMaxConfigs];
        Complex *residues[kMaxConfigs];
        for (int32_t i = 0; i < kMaxConfigs; ++i) {
            poles[i] = const_cast<Complex *>(args.poles[i]);
            residues[i] = const_cast<Complex *>(args.residues[i]);
        }
        return SetupPeakingFilter(args.sample_interval, args.pole_count, args.filter_count, poles,
                                  residues, args.gains, nullptr, 0);
    }
    static void apply(const Record &record, const Args &args, const double *in, int32_t count,
                      int32_t reset, double *out, std::vector<double> & /*side*/) {
        ApplyPeakingFilter(in, count, record, args.index, reset, out);
    }
    static void remove(const Record &record) { DeletePeakingFilter(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

using FilterMathBlocks = BlockList<PeakingFilterBlock>;

#endif  // AMI_BLOCKS_FILTER_MATH_FILTER_MATH_TEST_ADAPTERS_H
