// The shaping blocks under the shared block contract.
#include <cmath>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/block_contract.h"

namespace {

// Steps and a tone, so that every window and pole sees edges and slopes.
std::vector<double> shaping_stream() {
    std::vector<double> stream(300);
    for (std::size_t t = 0; t < stream.size(); ++t) {
        stream[t] = std::sin(0.3 * static_cast<double>(t)) + ((t / 17) % 2 == 0 ? 0.5 : -0.5);
    }
    return stream;
}

}  // namespace

// A delay of 7 samples.
struct DelayBlock {
    using Record = DelayLine;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetupDelay(7e-9, 1e-9); }
    static void remove(const Record &record) { DeleteDelay(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyDelay(in, count, record, reset, out);
    }
};

// A ramp of 5.5 samples: a window whose last tap is a remainder.
struct SlopeBlock {
    using Record = Slope;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetupSlope(5.5e-12, 1e-12); }
    static void remove(const Record &record) { DeleteSlope(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplySlope(in, count, record, reset, out);
    }
};

struct SawtoothBlock {
    using Record = Sawtooth;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetSawtooth(1e-12, 1.5, 9e-12); }
    static void remove(const Record &record) { DeleteSawtooth(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplySawtooth(in, count, record, reset, out);
    }
};

struct RiseFallBlock {
    using Record = RiseFall;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetRiseFall(1e-12, 6e-12); }
    static void remove(const Record &record) { DeleteRiseFall(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyRiseFall(in, count, record, reset, out);
    }
};

struct RayleighBlock {
    using Record = Rayleigh;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetRayleigh(1e-12, 0.8, 10e-12); }
    static void remove(const Record &record) { DeleteRayleigh(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyRayleigh(in, count, record, reset, out);
    }
};

struct TriangleBlock {
    using Record = Triangle;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return SetTriangle(1e-12, 1.2, 4e-12); }
    static void remove(const Record &record) { DeleteTriangle(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyTriangle(in, count, record, reset, out);
    }
};

// A soft limiter of five points; no state, no reset.
struct TableBlock {
    using Record = Table;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() {
        const double x[] = {-1.0, -0.5, 0.0, 0.5, 1.0};
        const double y[] = {-0.6, -0.45, 0.0, 0.45, 0.6};
        return SetTable(5, x, y);
    }
    static void remove(const Record &record) { DeleteTable(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t /*reset*/,
                      double *out, std::vector<double> & /*side*/) {
        ApplyTable(in, count, record, out);
    }
};

using ShapingBlocks = ::testing::Types<DelayBlock, SlopeBlock, SawtoothBlock, RiseFallBlock,
                                       RayleighBlock, TriangleBlock, TableBlock>;
INSTANTIATE_TYPED_TEST_SUITE_P(Shaping, BlockContract, ShapingBlocks);
