// The slope and sawtooth filters: coefficients, the ramp, its unit area and
// the tooth from their closed forms, and the durations the running sum
// cannot use as given. Blocks, resets and in-place runs are the block
// contract's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Pointwise;

using OwnedSlope = Owned<Slope, DeleteSlope>;
using OwnedSawtooth = Owned<Sawtooth, DeleteSawtooth>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTolerance = 1e-14;

std::vector<double> run(const Slope &slope, const std::vector<double> &input) {
    std::vector<double> output(input.size(), -99.0);
    ApplySlope(input.data(), static_cast<int32_t>(input.size()), slope, 0, output.data());
    return output;
}

std::vector<double> run(const Sawtooth &sawtooth, const std::vector<double> &input) {
    std::vector<double> output(input.size(), -99.0);
    ApplySawtooth(input.data(), static_cast<int32_t>(input.size()), sawtooth, 0, output.data());
    return output;
}

std::vector<double> unit_step(std::size_t length) {
    return std::vector<double>(length, 1.0);
}

std::vector<double> unit_impulse(std::size_t length) {
    std::vector<double> impulse(length, 0.0);
    impulse[0] = 1.0;
    return impulse;
}

TEST(Slope, WholeRatioLeavesNoTailWeight) {
    const OwnedSlope slope(SetupSlope(4.0, 1.0));
    EXPECT_EQ(slope->length, 5);
    EXPECT_EQ(slope->coef_in, 0.25);
    EXPECT_EQ(slope->coef_tail, 0.0);
    EXPECT_EQ(slope->coef_out, -0.25);
    EXPECT_EQ(*slope->position, 0);
    EXPECT_EQ(*slope->accumulator, 0.0);
}

// The impulse response, from the closed form: dt/T at samples 0 .. n - 2,
// the remainder 1 - (n - 1) dt/T at n - 1, nothing afterwards.
struct RampCase {
    std::string name;
    double duration;  // in sample intervals
    int32_t n;
    friend void PrintTo(const RampCase &row, std::ostream *os) { *os << row.name; }
};

class SlopeRamp : public ::testing::TestWithParam<RampCase> {};

TEST_P(SlopeRamp, ImpulseResponseIsTheRectangleOfUnitArea) {
    const RampCase &c = GetParam();
    const OwnedSlope slope(SetupSlope(c.duration * 1e-12, 1e-12));
    ASSERT_EQ(slope->length, c.n + 1);
    std::vector<double> expected(static_cast<std::size_t>(c.n) + 8, 0.0);
    for (int32_t k = 0; k + 1 < c.n; ++k) {
        expected[static_cast<std::size_t>(k)] = 1.0 / c.duration;
    }
    expected[static_cast<std::size_t>(c.n - 1)] = 1.0 - (c.n - 1) / c.duration;
    const std::vector<double> response = run(slope.get(), unit_impulse(expected.size()));
    EXPECT_THAT(response, Pointwise(DoubleNear(kTolerance), expected));
    EXPECT_NEAR(std::accumulate(response.begin(), response.end(), 0.0), 1.0, kTolerance);
}

INSTANTIATE_TEST_SUITE_P(Slope, SlopeRamp,
                         ::testing::ValuesIn(std::vector<RampCase>{
                             {"FourSamples", 4.0, 4},
                             {"ThreeAndAHalf", 3.5, 4},
                             {"JustOverThree", 3.001, 4},
                             {"OneSample", 1.0, 1},
                             {"HalfASamplePassesThrough", 0.5, 1},
                             {"FiftySevenPointThree", 57.3, 58},
                         }),
                         [](const auto &row) { return row.param.name; });

TEST(Slope, StepBecomesAStraightRamp) {
    const OwnedSlope four(SetupSlope(4.0, 1.0));
    EXPECT_THAT(run(four.get(), unit_step(7)), ElementsAre(0.25, 0.5, 0.75, 1.0, 1.0, 1.0, 1.0));
    const OwnedSlope three_and_a_half(SetupSlope(3.5, 1.0));
    EXPECT_THAT(run(three_and_a_half.get(), unit_step(6)),
                Pointwise(DoubleNear(kTolerance), {1 / 3.5, 2 / 3.5, 3 / 3.5, 1.0, 1.0, 1.0}));
}

TEST(Sawtooth, StepBecomesOneTooth) {
    const OwnedSawtooth tooth(SetSawtooth(1.0, 2.0, 4.0));
    EXPECT_EQ(tooth->length, 5);
    EXPECT_EQ(tooth->coef_in, 0.5);
    EXPECT_EQ(tooth->coef_tail, 0.0);
    EXPECT_EQ(tooth->coef_out, -0.5);
    EXPECT_EQ(tooth->coef_drop, -2.0);
    EXPECT_THAT(run(tooth.get(), unit_step(8)),
                ElementsAre(0.5, 1.0, 1.5, 2.0, 0.0, 0.0, 0.0, 0.0));
    const OwnedSawtooth uneven(SetSawtooth(1e-12, -1.5, 2.5e-12));
    EXPECT_THAT(run(uneven.get(), unit_step(6)),
                Pointwise(DoubleNear(kTolerance), {-0.6, -1.2, -1.5, 0.0, 0.0, 0.0}));
}

// Durations the window cannot use as given. Zero, negative and vanishing
// durations act as one sample interval; ratios that are NaN, infinite or
// too long for int32_t give the pass-through record.
struct DurationCase {
    std::string name;
    double duration;
    double sample_interval;
    bool acts_as_one_sample;  // otherwise passes through
    friend void PrintTo(const DurationCase &row, std::ostream *os) { *os << row.name; }
};

class OddDuration : public ::testing::TestWithParam<DurationCase> {};

TEST_P(OddDuration, GivesTheDocumentedFiniteResult) {
    const DurationCase &c = GetParam();
    const OwnedSlope slope(SetupSlope(c.duration, c.sample_interval));
    const OwnedSawtooth tooth(SetSawtooth(c.sample_interval, 2.0, c.duration));
    const std::vector<double> input{1.0, 1.0, 3.0, -1.0, 0.0, 0.5};
    EXPECT_THAT(run(slope.get(), input), Pointwise(DoubleNear(kTolerance), input));
    if (c.acts_as_one_sample) {
        EXPECT_EQ(slope->length, 2);
        EXPECT_EQ(tooth->length, 2);
        EXPECT_THAT(run(tooth.get(), input), ElementsAre(2.0, 0.0, 4.0, -8.0, 2.0, 1.0));
    } else {
        EXPECT_EQ(slope->length, 0);
        EXPECT_EQ(slope->buffer, nullptr);
        EXPECT_EQ(tooth->length, 0);
        EXPECT_EQ(tooth->accumulator, nullptr);
        EXPECT_EQ(run(tooth.get(), input), input);
    }
}

INSTANTIATE_TEST_SUITE_P(Shaping, OddDuration,
                         ::testing::ValuesIn(std::vector<DurationCase>{
                             {"Zero", 0.0, 1e-12, true},
                             {"Negative", -5e-12, 1e-12, true},
                             {"NegativeSampleInterval", 5e-12, -1e-12, true},
                             {"SoShortTheWeightOverflows", 1e-322, 1e-12, true},
                             {"NaN", kNaN, 1e-12, false},
                             {"Infinite", kInf, 1e-12, false},
                             {"MinusInfinity", -kInf, 1e-12, false},
                             {"ZeroSampleInterval", 1e-12, 0.0, false},
                             {"Huge", 1e30, 1e-12, false},
                             {"WindowTooLongForInt32", 2147483647.0, 1.0, false},
                         }),
                         [](const auto &row) { return row.param.name; });

TEST(Sawtooth, NonFiniteAmplitudeGivesThePassThroughRecord) {
    for (double amplitude : {kNaN, kInf}) {
        const OwnedSawtooth tooth(SetSawtooth(1.0, amplitude, 4.0));
        EXPECT_EQ(tooth->length, 0) << amplitude;
    }
}

}  // namespace
