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

// A delay of 7 samples, a ramp of 5.5 (its last tap a remainder), a tooth
// of 9, and time scales of a few samples.
DelayLine delay_of_7() {
    return SetupDelay(7e-9, 1e-9);
}
Slope slope_of_5_5() {
    return SetupSlope(5.5e-12, 1e-12);
}
Sawtooth tooth_of_9() {
    return SetSawtooth(1e-12, 1.5, 9e-12);
}
RiseFall rise_fall_of_6() {
    return SetRiseFall(1e-12, 6e-12);
}
Rayleigh rayleigh_of_10() {
    return SetRayleigh(1e-12, 0.8, 10e-12);
}
Triangle triangle_of_4() {
    return SetTriangle(1e-12, 1.2, 4e-12);
}

// A soft limiter of five points.
Table soft_limiter() {
    const double x[] = {-1.0, -0.5, 0.0, 0.5, 1.0};
    const double y[] = {-0.6, -0.45, 0.0, 0.45, 0.6};
    return SetTable(5, x, y);
}

}  // namespace

// Every shaping block but the table: clears its state after a block run with
// reset.
template <typename R, R (*Setup)(), void (*Delete)(R),
          void (*Apply)(const double *, int32_t, R, int32_t, double *)>
struct ShapingBlock {
    using Record = R;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return Setup(); }
    static void remove(const Record &record) { Delete(record); }
    static std::vector<double> input() { return shaping_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        Apply(in, count, record, reset, out);
    }
};

struct DelayBlock : ShapingBlock<DelayLine, delay_of_7, DeleteDelay, ApplyDelay> {};
struct SlopeBlock : ShapingBlock<Slope, slope_of_5_5, DeleteSlope, ApplySlope> {};
struct SawtoothBlock : ShapingBlock<Sawtooth, tooth_of_9, DeleteSawtooth, ApplySawtooth> {};
struct RiseFallBlock : ShapingBlock<RiseFall, rise_fall_of_6, DeleteRiseFall, ApplyRiseFall> {};
struct RayleighBlock : ShapingBlock<Rayleigh, rayleigh_of_10, DeleteRayleigh, ApplyRayleigh> {};
struct TriangleBlock : ShapingBlock<Triangle, triangle_of_4, DeleteTriangle, ApplyTriangle> {};

// The table has no state and no reset.
struct TableBlock {
    using Record = Table;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static Record setup() { return soft_limiter(); }
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
