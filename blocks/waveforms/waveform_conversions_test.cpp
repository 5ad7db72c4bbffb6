// Impulse, pulse and step conversions: worked examples, the differentiator's
// closed forms on ramps (clamped ends included), round trips, few samples,
// and the literal transcription bit for bit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_test_support.h"
#include "blocks/waveforms/waveforms_literal.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::Pointwise;

Samples i2s(const Samples &h, double T) {
    Samples step(2 * h.size(), -99.0);
    I2S(step.data(), h.data(), size_of(h), T);
    return step;
}

Samples i2p(const Samples &h, int32_t spb, double T) {
    Samples pulse(h.size(), -99.0);
    I2P(pulse.data(), h.data(), size_of(h), spb, T);
    return pulse;
}

// The step array S2I reads: a first half it must not read (NaN), then s.
Samples s2i(const Samples &s, double T) {
    Samples step(s.size(), std::nan(""));
    step.insert(step.end(), s.begin(), s.end());
    Samples impulse(s.size(), -99.0);
    S2I(impulse.data(), step.data(), size_of(s), T);
    return impulse;
}

Samples p2i(const Samples &p, int32_t spb, double T) {
    Samples impulse(p.size(), -99.0);
    P2I(impulse.data(), p.data(), size_of(p), spb, T);
    return impulse;
}

Samples scaled(Samples x, double factor) {
    for (double &v : x) {
        v *= factor;
    }
    return x;
}

struct ConversionCase {
    std::string name;
    Samples input;
    int32_t samples_per_bit;
    double sample_interval;
    Samples expected;
};

void PrintTo(const ConversionCase &c, std::ostream *os) {
    *os << c.name;
}

std::string case_name(const ::testing::TestParamInfo<ConversionCase> &row) {
    return row.param.name;
}

// ---- I2S ----------------------------------------------------------------

class ImpulseToStep : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ImpulseToStep, CentresTheAreaBeforeEachSample) {
    const ConversionCase &c = GetParam();
    EXPECT_THAT(i2s(c.input, c.sample_interval), Pointwise(DoubleNear(1e-15), c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ImpulseToStep,
    ::testing::Values(
        ConversionCase{"AllZero", {0, 0, 0}, 0, 1.0, {0, 0, 0, 0, 0, 0}},
        ConversionCase{
            "UnitFirstSample", {1, 0, 0, 0}, 0, 1.0, {-0.5, -0.5, -0.5, -0.5, -0.5, 0.5, 0.5, 0.5}},
        // S = 0.5 (2 + 2) = 2: baseline -1; the step holds the area before
        // each sample, so its last sample misses T h[n-1].
        ConversionCase{"TwoSamplesHalfInterval", {2, 2}, 0, 0.5, {-1, -1, -1, 0}},
        ConversionCase{"SingleSample", {4}, 0, 0.25, {-0.5, -0.5}}),
    case_name);

// ---- I2P ----------------------------------------------------------------

class ImpulseToPulse : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ImpulseToPulse, SumsOneBitOfImpulseSamples) {
    const ConversionCase &c = GetParam();
    EXPECT_THAT(i2p(c.input, c.samples_per_bit, c.sample_interval),
                Pointwise(DoubleNear(1e-15), c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ImpulseToPulse,
    ::testing::Values(
        ConversionCase{"OneSamplePerBitScalesByT", {1, -2, 3}, 1, 0.5, {0.5, -1, 1.5}},
        ConversionCase{"UnitFirstSampleGivesTForOneBit",
                       {1, 0, 0, 0, 0, 0},
                       4,
                       0.25,
                       {0.25, 0.25, 0.25, 0.25, 0, 0}},
        ConversionCase{"RampTwoSamplesPerBit", {1, 2, 3, 4, 5}, 2, 0.5, {0.5, 1.5, 2.5, 3.5, 4.5}},
        ConversionCase{"BitLongerThanResponse", {1, 2, 3}, 8, 1.0, {1, 3, 6}},
        ConversionCase{"NoSamplesPerBit", {1, 2, 3}, 0, 1.0, {0, 0, 0}},
        ConversionCase{"NegativeSamplesPerBit", {1, 2, 3}, -4, 1.0, {0, 0, 0}}),
    case_name);

// ---- S2I: the differentiator's closed forms ------------------------------

// Impulse of the ramp s[k] = a k over n samples, in units of a/T, from the
// clamped weights: 0.59 (s[i+1] - s[i-1]) - 0.03 (s[i+3] - s[i-3]) with the
// indices held to 0 .. n-1, worked by hand for each n.
struct RampCase {
    std::string name;
    int32_t n;
    Samples expected;  // impulse / (a/T)
};

void PrintTo(const RampCase &c, std::ostream *os) {
    *os << c.name;
}

class StepToImpulseOnRamp : public ::testing::TestWithParam<RampCase> {};

TEST_P(StepToImpulseOnRamp, MatchesTheClampedClosedForm) {
    const RampCase &c = GetParam();
    for (const double slope : {1.0, -2.5}) {
        for (const double T : {1.0, 1e-12}) {
            SCOPED_TRACE("slope " + std::to_string(slope) + ", T " + std::to_string(T));
            Samples s(static_cast<std::size_t>(c.n));
            for (int32_t k = 0; k < c.n; ++k) {
                s[static_cast<std::size_t>(k)] = slope * k;
            }
            const double unit = slope / T;
            EXPECT_THAT(s2i(s, T),
                        Pointwise(DoubleNear(1e-13 * std::fabs(unit)), scaled(c.expected, unit)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, StepToImpulseOnRamp,
    ::testing::Values(
        // n >= 8: a/T inside, 0.5, 1.06, 1.03 from either end.
        RampCase{"Eight", 8, {0.5, 1.06, 1.03, 1, 1, 1.03, 1.06, 0.5}},
        RampCase{"Eleven", 11, {0.5, 1.06, 1.03, 1, 1, 1, 1, 1, 1.03, 1.06, 0.5}},
        RampCase{"Seven", 7, {0.5, 1.06, 1.03, 1.0, 1.03, 1.06, 0.5}},
        RampCase{"Six", 6, {0.5, 1.06, 1.03, 1.03, 1.06, 0.5}},
        // Fewer than six samples: every far neighbour is clamped.
        RampCase{"FewSamplesFive", 5, {0.5, 1.06, 1.06, 1.06, 0.5}},
        RampCase{"FewSamplesFour", 4, {0.5, 1.09, 1.09, 0.5}},
        RampCase{"FewSamplesThree", 3, {0.53, 1.12, 0.53}},
        RampCase{"FewSamplesTwo", 2, {0.56, 0.56}}, RampCase{"FewSamplesOne", 1, {0}}),
    [](const ::testing::TestParamInfo<RampCase> &row) { return row.param.name; });

TEST(StepToImpulse, ConstantStepGivesZeros) {
    EXPECT_THAT(s2i(Samples(12, 0.75), 1e-12), Each(0.0));
}

TEST(ConversionsOfFewSamples, NonPositiveCountsWriteNothing) {
    Samples guard{-7.0, -7.0};
    for (const int32_t n : {0, -1, -1000}) {
        SCOPED_TRACE(n);
        I2S(guard.data(), nullptr, n, 1.0);
        I2P(guard.data(), nullptr, n, 4, 1.0);
        I2P(guard.data(), nullptr, n, 0, 1.0);
        S2I(guard.data(), nullptr, n, 1.0);
        P2I(guard.data(), nullptr, n, 4, 1.0);
        P2I(guard.data(), nullptr, n, 0, 1.0);
        EXPECT_THAT(guard, Each(-7.0));
    }
}

// Exact-size arrays: the sanitizer and valgrind runs catch any access past
// either end. The pulse (0, 1, 0, ...) at one sample per bit rebuilds the
// step (0, 1, 1, ...); its clamped differences worked by hand.
TEST(ConversionsOfFewSamples, PulseToImpulseStaysInsideTheArrays) {
    const std::vector<Samples> expected{{0},
                                        {0.56, 0.56},
                                        {0.56, 0.56, -0.03},
                                        {0.56, 0.56, -0.03, -0.03},
                                        {0.56, 0.56, -0.03, -0.03, 0}};
    for (int32_t n = 1; n < 6; ++n) {
        SCOPED_TRACE("n = " + std::to_string(n));
        Samples delayed(static_cast<std::size_t>(n), 0.0);
        if (n > 1) {
            delayed[1] = 1.0;
        }
        EXPECT_THAT(p2i(delayed, 1, 1.0),
                    Pointwise(DoubleNear(1e-15), expected[static_cast<std::size_t>(n - 1)]));
        // One bit of 1 from sample 0 rebuilds a step of 1 throughout: no edge.
        EXPECT_THAT(p2i(Samples(static_cast<std::size_t>(n), 1.0), 8, 1.0), Each(0.0));
    }
}

// ---- P2I ----------------------------------------------------------------

TEST(PulseToImpulse, OneBitFromTheStartGivesZeros) {
    for (const int32_t spb : {1, 4, 16}) {
        SCOPED_TRACE(spb);
        Samples pulse(40, 0.0);
        std::fill(pulse.begin(), pulse.begin() + spb, 1.0);
        EXPECT_THAT(p2i(pulse, spb, 1e-12), Each(0.0));
    }
}

TEST(PulseToImpulse, DelayedBitGivesTheSmoothedEdge) {
    const double T = 0.5;
    for (const int32_t spb : {1, 3, 8}) {
        SCOPED_TRACE(spb);
        Samples pulse(24, 0.0);
        std::fill(pulse.begin() + 10, pulse.begin() + 10 + spb, 1.0);
        Samples expected(24, 0.0);
        expected[9] = expected[10] = 0.56 / T;
        expected[7] = expected[8] = expected[11] = expected[12] = -0.03 / T;
        EXPECT_THAT(p2i(pulse, spb, T), Pointwise(DoubleNear(1e-15), expected));
    }
}

TEST(PulseToImpulse, NoSamplesPerBitGivesZeros) {
    EXPECT_THAT(p2i(Samples{1, 2, 3, 4, 5, 6, 7}, 0, 1.0), Each(0.0));
    EXPECT_THAT(p2i(Samples{1, 2, 3, 4, 5, 6, 7}, -3, 1.0), Each(0.0));
}

// P2I(I2P(h)) differentiates the step T (h[0] + ... + h[i]), which gives
// 0.59 (h[i] + h[i+1]) - 0.03 (h[i-2] + ... + h[i+3]) away from the ends.
TEST(PulseToImpulse, InvertsImpulseToPulseUpToSmoothing) {
    const Samples h = random_samples(200, 7);
    for (const int32_t spb : {1, 2, 5, 32}) {
        SCOPED_TRACE(spb);
        const Samples back = p2i(i2p(h, spb, 1e-12), spb, 1e-12);
        for (std::size_t i = 3; i + 4 < h.size(); ++i) {
            const double smoothed =
                0.59 * (h[i] + h[i + 1]) -
                0.03 * (h[i - 2] + h[i - 1] + h[i] + h[i + 1] + h[i + 2] + h[i + 3]);
            EXPECT_NEAR(back[i], smoothed, 1e-9) << "sample " << i;
        }
    }
}

// A constant impulse response rebuilds a ramp: the ramp's closed form.
TEST(PulseToImpulse, ConstantImpulseComesBackWithTheClampedEnds) {
    const Samples h(10, 3.0);
    const Samples expected = scaled({0.5, 1.06, 1.03, 1, 1, 1, 1, 1.03, 1.06, 0.5}, 3.0);
    for (const int32_t spb : {1, 4, 9, 20}) {
        SCOPED_TRACE(spb);
        EXPECT_THAT(p2i(i2p(h, spb, 0.25), spb, 0.25), Pointwise(DoubleNear(1e-13), expected));
    }
}

// ---- The literal transcription, bit for bit -------------------------------

struct LiteralCase {
    int32_t n;
    int32_t samples_per_bit;
};

void PrintTo(const LiteralCase &c, std::ostream *os) {
    *os << "n " << c.n << ", spb " << c.samples_per_bit;
}

class ConversionsMatchTheLiteralTranscription : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(ConversionsMatchTheLiteralTranscription, BitForBit) {
    const auto [n, spb] = GetParam();
    const double T = 3.125e-12;
    const Samples h = random_samples(static_cast<std::size_t>(n), static_cast<unsigned>(n + spb));
    Samples expected_pulse(h.size());
    literal::I2P(expected_pulse.data(), h.data(), n, spb, T);
    EXPECT_THAT(i2p(h, spb, T), HasSameBits(expected_pulse));

    Samples expected_impulse(h.size());
    literal::P2I(expected_impulse.data(), h.data(), n, spb, T);
    EXPECT_THAT(p2i(h, spb, T), HasSameBits(expected_impulse));

    Samples step = random_samples(2 * h.size(), 99);
    Samples from_step(h.size());
    literal::S2I(expected_impulse.data(), step.data(), n, T);
    S2I(from_step.data(), step.data(), n, T);
    EXPECT_THAT(from_step, HasSameBits(expected_impulse));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConversionsMatchTheLiteralTranscription,
                         ::testing::Values(LiteralCase{6, 1}, LiteralCase{7, 3},
                                           LiteralCase{100, 1}, LiteralCase{513, 4},
                                           LiteralCase{1030, 32}, LiteralCase{1100, 1000},
                                           LiteralCase{4064, 32}),
                         [](const ::testing::TestParamInfo<LiteralCase> &row) {
                             return "n" + std::to_string(row.param.n) + "spb" +
                                    std::to_string(row.param.samples_per_bit);
                         });

}  // namespace
