// Eye and error metrics: worked examples, the main cursor's ties and the
// wrap of the cursors one bit apart, responses longer than the metrics'
// chunks, and the degenerate sizes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_test_support.h"

namespace {

using ::testing::DoubleNear;
using ::testing::IsNan;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// ---- ErrEnergy ------------------------------------------------------------

struct EnergyCase {
    std::string name;
    Samples values;
    double reference;
    double expected;
};

void PrintTo(const EnergyCase &c, std::ostream *os) {
    *os << c.name;
}

class ErrorEnergy : public ::testing::TestWithParam<EnergyCase> {};

TEST_P(ErrorEnergy, SumsSquaresOverTheSquaredReference) {
    const EnergyCase &c = GetParam();
    EXPECT_EQ(ErrEnergy(c.values.data(), size_of(c.values), c.reference), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ErrorEnergy,
    ::testing::Values(EnergyCase{"ThreeFourOverFive", {3, 4}, 5, 1},
                      EnergyCase{"NegativeReference", {2, -2}, -2, 2},
                      EnergyCase{"NoValues", {}, 5, 0},
                      EnergyCase{"ZeroReferenceWithEnergy", {0, 1e-3}, 0, kInfinity},
                      EnergyCase{"ZeroReferenceWithoutEnergy", {0, -0.0}, 0, 0},
                      EnergyCase{"NegativeZeroReference", {1}, -0.0, kInfinity}),
    [](const ::testing::TestParamInfo<EnergyCase> &row) { return row.param.name; });

TEST(ErrorEnergy, NanValuesGiveNanWhateverTheReference) {
    const Samples values{1, std::nan("")};
    EXPECT_THAT(ErrEnergy(values.data(), 2, 2), IsNan());
    EXPECT_THAT(ErrEnergy(values.data(), 2, 0), IsNan());
}

// ---- MAX and PDA --------------------------------------------------------------

struct CursorCase {
    std::string name;
    Samples impulse;
    int32_t samples_per_bit;
    double sample_interval;
    double max;
    double pda;
};

void PrintTo(const CursorCase &c, std::ostream *os) {
    *os << c.name;
}

class CursorMetrics : public ::testing::TestWithParam<CursorCase> {};

TEST_P(CursorMetrics, AddAndSubtractTheCursorsOneBitApart) {
    const CursorCase &c = GetParam();
    const int32_t n = size_of(c.impulse);
    EXPECT_NEAR(MAX(c.impulse.data(), n, c.samples_per_bit, c.sample_interval), c.max, 1e-15);
    EXPECT_NEAR(PDA(c.impulse.data(), n, c.samples_per_bit, c.sample_interval), c.pda, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CursorMetrics,
    ::testing::Values(
        // m = 1; the cursors are samples 2, 3 and, after the wrap, 0.
        CursorCase{"OneSamplePerBitWraps", {0.1, 1.0, 0.3, -0.2}, 1, 1.0, 1.6, 0.4},
        // Pulse (0, 0.2, 1.0, 0.4, 0.1, 0): m = 2, cursors 4 and 0.
        CursorCase{"TwoSamplesPerBit", {0, 0.2, 0.8, -0.4, 0.5, -0.5}, 2, 1.0, 1.1, 0.9},
        CursorCase{"SampleIntervalScales", {0, 0.4, 1.6, -0.8, 1.0, -1.0}, 2, 0.5, 1.1, 0.9},
        // Pulse (1, 0.5, -1, 0.25, 0.125): |1| at 0 and 2, the first is m;
        // its cursors are 2 and 4 (from m = 2 they would be 4 and 1).
        CursorCase{"TieGoesToTheFirst", {1, -0.5, -0.5, 0.75, -0.625}, 2, 1.0, 2.125, -0.125},
        // n <= spb: no cursor one bit apart. Pulse (0.5, -1.5, -0.5).
        CursorCase{"BitLongerThanResponse", {0.5, -2, 1}, 4, 1.0, 1.5, 1.5},
        CursorCase{"AllZero", {0, 0, 0, 0}, 2, 1.0, 0, 0},
        CursorCase{"NoSamplesPerBit", {1, 2, 3}, 0, 1.0, 0, 0},
        CursorCase{"NegativeSamplesPerBit", {1, 2, 3}, -2, 1.0, 0, 0},
        CursorCase{"NoSamples", {}, 2, 1.0, 0, 0}),
    [](const ::testing::TestParamInfo<CursorCase> &row) { return row.param.name; });

// ---- SNR ----------------------------------------------------------------------

struct SnrCase {
    std::string name;
    Samples impulse;
    int32_t samples_per_bit;
    double threshold;
    double expected;
};

void PrintTo(const SnrCase &c, std::ostream *os) {
    *os << c.name;
}

class SignalToNoise : public ::testing::TestWithParam<SnrCase> {};

TEST_P(SignalToNoise, WeighsTheWindowAgainstTheRest) {
    const SnrCase &c = GetParam();
    EXPECT_THAT(SNR(c.impulse.data(), size_of(c.impulse), c.samples_per_bit, 1.0, c.threshold),
                DoubleNear(c.expected, 1e-12 * std::fabs(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SignalToNoise,
    ::testing::Values(
        // Pulse (0, 0.2, 1.0, 0.4, 0.1, 0): window 1 .. 2, sample 1 below the
        // threshold; noise 0.4^2 + 0.1^2.
        SnrCase{"TwoSamplesPerBit", {0, 0.2, 0.8, -0.4, 0.5, -0.5}, 2, 0.5, 0.25 / 0.17},
        // Odd spb: h = 1, the window is 1 .. 2 and sample 3 is noise.
        // Pulse (0, 0, 1, 1, 1, 0, 0).
        SnrCase{"OddSamplesPerBitLeavesTheLastOut", {0, 0, 1, 0, 0, 0, 0}, 3, 0.5, 0.25 / 2},
        // m = 0 with spb = 4: the window -2 .. 1 is cut at the start.
        // Pulse (2, 2, 2, 2, 0, 0).
        SnrCase{"WindowCutAtTheStart", {2, 0, 0, 0, 0, 0}, 4, 1.0, 2.0 / 8.0},
        // Pulse (0, 0.4, 0.8, 0, 0): everything inside the window.
        SnrCase{"NoNoise", {0, 0.4, 0.4, -0.4, 0.4}, 2, 0.5, 0.09 * 1e9},
        // Every sample below the threshold: no signal.
        SnrCase{"BelowThreshold", {0, 0.2, 0.8, -0.4, 0.5, -0.5}, 2, 2.0, 0.0},
        SnrCase{"OneSamplePerBitHasAnEmptyWindow", {0.1, 1.0, 0.3}, 1, 0.0, 0.0},
        SnrCase{"AllZero", {0, 0, 0, 0}, 2, 0.0, 0.0},
        SnrCase{"NoSamplesPerBit", {1, 2, 3}, 0, 0.0, 0.0}, SnrCase{"NoSamples", {}, 2, 0.0, 0.0}),
    [](const ::testing::TestParamInfo<SnrCase> &row) { return row.param.name; });

// Responses longer than the chunks the metrics compute their pulse
// response in, with the main cursor in a later chunk: the metrics equal the
// definitions applied to I2P's pulse response, bit for bit.
TEST(EyeMetrics, LongResponsesFollowThePulseResponse) {
    const int32_t spb = 7;
    for (const std::size_t peak : {std::size_t{3}, std::size_t{1300}}) {
        SCOPED_TRACE(peak);
        Samples h = random_samples(1500, 21, -0.01, 0.01);
        h[peak] = 0.2;
        const int32_t n = size_of(h);
        Samples p(h.size());
        I2P(p.data(), h.data(), n, spb, 1e-12);
        std::size_t m = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            m = std::fabs(p[i]) > std::fabs(p[m]) ? i : m;
        }
        double max = std::fabs(p[m]);
        double pda = std::fabs(p[m]);
        for (std::size_t k = 1; k * spb < p.size(); ++k) {
            max += std::fabs(p[(m + k * spb) % p.size()]);
            pda -= std::fabs(p[(m + k * spb) % p.size()]);
        }
        double noise = 0.0;
        double signal = 0.0;
        for (std::size_t j = 0; j < p.size(); ++j) {
            if (j + 3 < m || j >= m + 3) {
                noise += p[j] * p[j];
            } else if (p[j] > 1e-12) {
                signal += (p[j] - 1e-12) * (p[j] - 1e-12);
            }
        }
        EXPECT_EQ(MAX(h.data(), n, spb, 1e-12), max);
        EXPECT_EQ(PDA(h.data(), n, spb, 1e-12), pda);
        EXPECT_EQ(SNR(h.data(), n, spb, 1e-12, 1e-12), signal / noise);
    }
}

}  // namespace
