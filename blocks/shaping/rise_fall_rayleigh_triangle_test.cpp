// The rise/fall, Rayleigh and triangle filters: coefficients and responses
// from their closed forms, and the time scales their ratio cannot use as
// given. Blocks, resets and in-place runs are the block contract's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::Matcher;

using OwnedRiseFall = Owned<RiseFall, DeleteRiseFall>;
using OwnedRayleigh = Owned<Rayleigh, DeleteRayleigh>;
using OwnedTriangle = Owned<Triangle, DeleteTriangle>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Each value near a closed form evaluated in long double: 1 - u cancels
// about three digits when u = exp(-r/2) is near 1, and the coefficients
// computed in doubles carry that.
std::vector<Matcher<double>> near(std::initializer_list<long double> exact) {
    std::vector<Matcher<double>> matchers;
    for (long double x : exact) {
        matchers.push_back(::testing::DoubleNear(static_cast<double>(x),
                                                 1e-14 * std::fabs(static_cast<double>(x))));
    }
    return matchers;
}

long double e(long double x) {
    return std::exp(x);
}

template <typename Record>
std::vector<double> run(void (*apply)(const double *, int32_t, Record, int32_t, double *),
                        const Record &record, const std::vector<double> &input) {
    std::vector<double> output(input.size(), -99.0);
    apply(input.data(), static_cast<int32_t>(input.size()), record, 0, output.data());
    return output;
}

std::vector<double> constant(std::size_t length, double value) {
    return std::vector<double>(length, value);
}

TEST(RiseFall, CoefficientsAndUnitDcGain) {
    const OwnedRiseFall f(SetRiseFall(1.0, 10.0));
    const long double g = (1 - e(-0.1L)) * (1 - e(-0.1L));
    EXPECT_THAT(
        (std::vector<double>{f->b0, f->b1, f->b2, f->a1, f->a2}),
        ElementsAreArray(near({g, 2 * g * e(-0.1L), g * e(-0.2L), 2 * e(-0.2L), -e(-0.4L)})));
    const std::vector<double> step = run(ApplyRiseFall, f.get(), constant(400, 1.0));
    EXPECT_EQ(step[0], f->b0);
    EXPECT_TRUE(std::is_sorted(step.begin(), step.end()));
    EXPECT_NEAR(step.back(), 1.0, 1e-14);

    const OwnedRiseFall g2(SetRiseFall(1.0, 10.0));
    std::vector<double> impulse(400, 0.0);
    impulse[0] = 1.0;
    impulse = run(ApplyRiseFall, g2.get(), impulse);
    EXPECT_NEAR(std::accumulate(impulse.begin(), impulse.end(), 0.0), 1.0, 1e-14);
}

TEST(RiseFall, TimeScaleFarBelowTheSampleIntervalPassesInputThrough) {
    const OwnedRiseFall f(SetRiseFall(1e-12, 1e-16));
    const std::vector<double> input{0.0, 1.0, -2.5, 3.0, 3.0, 0.125};
    EXPECT_EQ(run(ApplyRiseFall, f.get(), input), input);
}

TEST(Rayleigh, StepBecomesOnePulseThatPeaksJustBelowHalfTheGain) {
    const OwnedRayleigh f(SetRayleigh(1.0, 1.0, 10.0));
    const long double r = (1 / 0.431L) / 10;
    const long double k = (1 - e(-r / 2)) * 2.71828L * 0.5L;
    EXPECT_THAT((std::vector<double>{f->b0, f->b1, f->b2, f->b3, f->a1, f->a2, f->a3}),
                ElementsAreArray(near({k * e(-r / 2), k * (e(-r) - e(-r / 2) - e(-3 * r / 2)),
                                       k * (e(-3 * r / 2) - e(-r) - e(-2 * r)), k * e(-2 * r),
                                       3 * e(-r), -3 * e(-2 * r), e(-3 * r)})));
    EXPECT_NEAR(f->b0 + f->b1 + f->b2 + f->b3, 0.0, 1e-16);  // no gain at DC

    const std::vector<double> step = run(ApplyRayleigh, f.get(), constant(500, 1.0));
    EXPECT_EQ(step[0], f->b0);
    const auto peak = std::max_element(step.begin(), step.end());
    EXPECT_EQ(peak - step.begin(), 4);
    EXPECT_GT(*peak, 0.45);
    EXPECT_LT(*peak, 0.5);
    EXPECT_NEAR(step.back(), 0.0, 1e-12);
}

TEST(Triangle, StepJumpsThenDecaysByExpOfMinusREachSample) {
    const OwnedTriangle f(SetTriangle(1.0, 1.0, 10.0));
    EXPECT_THAT((std::vector<double>{f->b0, f->b1, f->a1}),
                ElementsAreArray(near({e(-0.05L), -e(-0.05L), e(-0.1L)})));
    const std::vector<double> step = run(ApplyTriangle, f.get(), constant(6, 1.0));
    EXPECT_THAT(
        step,
        ElementsAreArray(near({e(-0.05L), e(-0.15L), e(-0.25L), e(-0.35L), e(-0.45L), e(-0.55L)})));
    const OwnedTriangle g(SetTriangle(1.0, -3.0, 2.0));
    EXPECT_NEAR(run(ApplyTriangle, g.get(), constant(200, 0.7)).back(), 0.0, 1e-15);
}

// Time scales and sample intervals whose ratio r is not a number >= 0, or
// is 0 or +infinity. A vanishing time scale (r = +infinity, also standing
// in for negative and NaN ratios) lets rise/fall pass its input and the
// others output zeros; an endless one (r = 0) makes rise/fall and Rayleigh
// output zeros and the triangle G times its input.
enum class Limit { kVanishing, kEndless };

struct TimeScaleCase {
    std::string name;
    double sample_interval;
    double tau;
    Limit limit;
    friend void PrintTo(const TimeScaleCase &row, std::ostream *os) { *os << row.name; }
};

class OddTimeScale : public ::testing::TestWithParam<TimeScaleCase> {};

TEST_P(OddTimeScale, GivesTheLimitAndFiniteSamples) {
    const TimeScaleCase &c = GetParam();
    constexpr double kGain = 1.5;
    const OwnedRiseFall rise_fall(SetRiseFall(c.sample_interval, c.tau));
    const OwnedRayleigh rayleigh(SetRayleigh(c.sample_interval, kGain, c.tau));
    const OwnedTriangle triangle(SetTriangle(c.sample_interval, kGain, c.tau));
    std::vector<double> input(64);
    for (std::size_t t = 0; t < input.size(); ++t) {
        input[t] = (t / 8) % 2 == 0 ? 1.0 : -0.75;
    }
    std::vector<double> gained(input);
    for (double &x : gained) {
        x *= kGain;
    }
    const bool vanishing = c.limit == Limit::kVanishing;
    const std::vector<double> zeros(input.size(), 0.0);
    EXPECT_THAT(run(ApplyRiseFall, rise_fall.get(), input),
                ::testing::Pointwise(::testing::DoubleNear(1e-15), vanishing ? input : zeros));
    EXPECT_THAT(run(ApplyRayleigh, rayleigh.get(), input), Each(0.0));
    EXPECT_THAT(run(ApplyTriangle, triangle.get(), input),
                ::testing::Pointwise(::testing::DoubleNear(1e-15), vanishing ? zeros : gained));
}

INSTANTIATE_TEST_SUITE_P(Shaping, OddTimeScale,
                         ::testing::ValuesIn(std::vector<TimeScaleCase>{
                             {"ZeroTau", 1.0, 0.0, Limit::kVanishing},
                             {"NegativeTau", 1.0, -10.0, Limit::kVanishing},
                             {"MinusZeroTau", 1.0, -0.0, Limit::kVanishing},
                             {"NaNTau", 1.0, kNaN, Limit::kVanishing},
                             {"NegativeSampleInterval", -1.0, 10.0, Limit::kVanishing},
                             {"NaNSampleInterval", kNaN, 10.0, Limit::kVanishing},
                             {"InfiniteSampleInterval", kInf, 10.0, Limit::kVanishing},
                             {"BothInfinite", kInf, kInf, Limit::kVanishing},
                             {"BothZero", 0.0, 0.0, Limit::kVanishing},
                             {"InfiniteTau", 1.0, kInf, Limit::kEndless},
                             {"MinusInfiniteTau", 1.0, -kInf, Limit::kEndless},
                             {"ZeroSampleInterval", 0.0, 10.0, Limit::kEndless},
                         }),
                         [](const auto &row) { return row.param.name; });

TEST(RiseFall, NegativeTimeScaleWouldOtherwiseGrowWithoutBound) {
    // The unstable filter a negative ratio gives as stated would overflow
    // within a few thousand samples; the record made stays at the limit.
    const OwnedRiseFall f(SetRiseFall(1.0, -10.0));
    EXPECT_THAT(run(ApplyRiseFall, f.get(), constant(20000, 1.0)), Each(1.0));
}

}  // namespace
