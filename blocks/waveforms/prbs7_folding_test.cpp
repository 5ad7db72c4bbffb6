// PRBS7 folding: the pattern, folds and unfolds against worked examples and
// the literal transcription, the layout of long unfolds, unfolds shorter than
// a period, and the three-period route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/prbs7_pattern.h"
#include "blocks/waveforms/waveform_test_support.h"
#include "blocks/waveforms/waveforms_literal.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::Pointwise;

constexpr double T = 3.125e-12;

std::size_t period(int32_t spb) {
    return 127 * static_cast<std::size_t>(spb);
}

Samples fold(const Samples &pulse, int32_t spb) {
    Samples wave(period(spb), -99.0);
    P2PRBS(wave.data(), pulse.data(), static_cast<int32_t>(pulse.size()), spb, T);
    return wave;
}

Samples unfold(const Samples &wave, int32_t n, int32_t spb) {
    Samples pulse(static_cast<std::size_t>(n), -99.0);
    PRBS2P(pulse.data(), wave.data(), n, spb, T);
    return pulse;
}

// Small random samples with one clear peak.
Samples peaked_response(std::size_t n, std::size_t peak, unsigned seed) {
    Samples x = random_samples(n, seed, -0.1, 0.1);
    x[peak] = 1.0;
    return x;
}

// A lopsided bump on small noise: its largest sample stays the largest
// after the differentiator's smoothing.
Samples bump_response(std::size_t n, std::size_t peak, unsigned seed) {
    Samples x = random_samples(n, seed, -0.01, 0.01);
    x[peak] = 1.0;
    if (peak > 0) {
        x[peak - 1] = 0.5;
    }
    if (peak + 1 < n) {
        x[peak + 1] = 0.9;
    }
    return x;
}

// ---- The pattern ----------------------------------------------------------

TEST(Prbs7Pattern, BeginsAsPublishedAndHoldsSixtyFourOnes) {
    const std::vector<int> first16{1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1};
    EXPECT_THAT(std::vector<int>(ami::kPrbs7Pattern.begin(), ami::kPrbs7Pattern.begin() + 16),
                ElementsAreArray(first16));
    EXPECT_EQ(std::count(ami::kPrbs7Pattern.begin(), ami::kPrbs7Pattern.end(), 1), 64);
}

// The same bits from a seven-bit shift register: emit b6, shift towards b6,
// feed b0 with the old b6 XOR the old b0; it returns to all ones after
// exactly 127 bits.
TEST(Prbs7Pattern, EqualsTheShiftRegisterSequence) {
    unsigned reg = 0x7f;  // bit i holds b_i
    std::vector<int> emitted;
    for (int k = 0; k < 127; ++k) {
        const unsigned b6 = (reg >> 6) & 1U;
        const unsigned b0 = reg & 1U;
        emitted.push_back(static_cast<int>(b6));
        reg = ((reg << 1) & 0x7eU) | (b6 ^ b0);
        EXPECT_TRUE(k == 126 || reg != 0x7fU) << "period ends early at bit " << k;
    }
    EXPECT_EQ(reg, 0x7fU);
    EXPECT_THAT(emitted, ElementsAreArray(ami::kPrbs7Pattern));
}

// ---- Folding --------------------------------------------------------------

TEST(Prbs7Fold, UnitPulseGivesTheBitLevels) {
    const Samples wave = fold({1.0}, 1);
    const Samples first16{0.5, 0.5,  0.5, 0.5,  0.5, 0.5,  0.5,  -0.5,
                          0.5, -0.5, 0.5, -0.5, 0.5, -0.5, -0.5, 0.5};
    EXPECT_THAT(slice(wave, 0, 16), ElementsAreArray(first16));
    EXPECT_EQ(std::accumulate(wave.begin(), wave.end(), 0.0), 0.5);  // 64 ones, 63 zeros
}

TEST(Prbs7Fold, EachBitStartsSamplesPerBitLater) {
    const int32_t spb = 4;
    const Samples wave = fold({1.0}, spb);
    const Samples levels = fold({1.0}, 1);
    for (std::size_t t = 0; t < wave.size(); ++t) {
        EXPECT_EQ(wave[t], t % spb == 0 ? levels[t / spb] : 0.0) << "sample " << t;
    }
}

TEST(Prbs7Fold, ResponseLongerThanAPeriodWrapsOntoItself) {
    Samples twice(2 * period(1), 0.0);
    twice[0] = twice[period(1)] = 1.0;
    EXPECT_THAT(fold(twice, 1), ElementsAreArray(fold({2.0}, 1)));
    // Any response folds as its sum modulo the period.
    const int32_t spb = 3;
    const Samples long_response = peaked_response(2 * period(spb) + 40, 10, 1);
    Samples wrapped(period(spb), 0.0);
    for (std::size_t j = 0; j < long_response.size(); ++j) {
        wrapped[j % period(spb)] += long_response[j];
    }
    EXPECT_THAT(fold(long_response, spb), Pointwise(DoubleNear(1e-14), fold(wrapped, spb)));
}

TEST(Prbs7Fold, NothingToFoldGivesZerosAndNoBitWritesNothing) {
    EXPECT_THAT(fold({}, 2), Each(0.0));
    Samples guard{-7.0, -7.0};
    P2PRBS(guard.data(), nullptr, 5, 0, T);
    P2PRBS(guard.data(), nullptr, 5, -1, T);
    I2PRBS(guard.data(), nullptr, 5, 0, T);
    EXPECT_THAT(guard, Each(-7.0));
    Samples wave(period(2), -7.0);
    I2PRBS(wave.data(), nullptr, 0, 2, T);
    EXPECT_THAT(wave, Each(0.0));
}

// ---- Unfolding --------------------------------------------------------------

TEST(Prbs7Unfold, ZeroAndConstantWaveformsGiveZeros) {
    for (const int32_t spb : {1, 4}) {
        for (const std::size_t extra : {std::size_t{0}, std::size_t{37}, period(spb)}) {
            const auto n = static_cast<int32_t>(period(spb) + extra);
            SCOPED_TRACE("spb " + std::to_string(spb) + ", n " + std::to_string(n));
            EXPECT_THAT(unfold(Samples(period(spb), 0.0), n, spb), Each(0.0));
            // Steps 1 and 2 give 2v everywhere; both averages and the
            // baseline are 2v too.
            EXPECT_THAT(unfold(Samples(period(spb), 0.375), n, spb), Each(DoubleNear(0.0, 1e-14)));
        }
    }
}

// The layout of an unfold longer than the period, seen where the
// corrections vanish: inside plateaus wider than the parabolic averages
// (8.5 bits to each side), after the baseline (the last 16 bits).
struct LayoutCase {
    std::string name;
    std::vector<std::pair<std::size_t, double>> plateaus;  // (start, level) until the next
    int32_t n;
    std::vector<std::pair<std::size_t, double>> expected;  // (sample, value)
};

void PrintTo(const LayoutCase &c, std::ostream *os) {
    *os << c.name;
}

class Prbs7UnfoldLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Prbs7UnfoldLayout, PlacesThePeriodAsStated) {
    const LayoutCase &c = GetParam();
    Samples response(period(1), 0.0);
    for (std::size_t p = 0; p < c.plateaus.size(); ++p) {
        const std::size_t end = p + 1 < c.plateaus.size() ? c.plateaus[p + 1].first : period(1);
        std::fill(response.begin() + static_cast<std::ptrdiff_t>(c.plateaus[p].first),
                  response.begin() + static_cast<std::ptrdiff_t>(end), c.plateaus[p].second);
    }
    const Samples pulse = unfold(fold(response, 1), c.n, 1);
    for (const auto &[sample, value] : c.expected) {
        EXPECT_NEAR(pulse[sample], value, 1e-14) << "sample " << sample;
    }
}

INSTANTIATE_TEST_SUITE_P(
    OneSamplePerBit, Prbs7UnfoldLayout,
    ::testing::Values(
        // Peak at 40, 28 beyond 12 bits: the period is read from 28, its first
        // 28 samples (0.5 up to 20) follow it at 127 .. 154, and the first bit
        // from 28 (0) fills the rest, which wraps to the start.
        LayoutCase{"LatePeakMovesTheHeadBehind",
                   {{0, 0.5}, {20, 0.0}, {40, 1.0}, {80, 0.0}},
                   167,
                   {{0, 0.0},
                    {19, 0.0},
                    {31, 0.0},
                    {48, 1.0},
                    {71, 1.0},
                    {88, 0.0},
                    {118, 0.0},
                    {135, 0.5},
                    {138, 0.5},
                    {155, 0.0},
                    {166, 0.0}}},
        // Peak at 0: the period stays, its last bit (0.25) repeats after it and
        // is the baseline that comes off every sample.
        LayoutCase{"EarlyPeakRepeatsTheLastBit",
                   {{0, 1.0}, {30, 0.0}, {100, 0.25}},
                   167,
                   {{8, 0.75}, {21, 0.75}, {38, -0.25}, {91, -0.25}, {108, 0.0}, {158, 0.0}}}),
    [](const ::testing::TestParamInfo<LayoutCase> &row) { return row.param.name; });

// Bit for bit against the literal transcription, around both branches of the
// layout: peaks at 12 bits, one sample beyond, far beyond with and without
// wrapping past the end.
struct UnfoldCase {
    int32_t samples_per_bit;
    int32_t extra;  // n - L
    int32_t peak;
};

void PrintTo(const UnfoldCase &c, std::ostream *os) {
    *os << "spb " << c.samples_per_bit << ", n - L " << c.extra << ", peak " << c.peak;
}

class Prbs7MatchesTheLiteralTranscription : public ::testing::TestWithParam<UnfoldCase> {};

TEST_P(Prbs7MatchesTheLiteralTranscription, FoldAndUnfoldBitForBit) {
    const auto [spb, extra, peak] = GetParam();
    const auto n = static_cast<int32_t>(period(spb)) + extra;
    const Samples response =
        peaked_response(static_cast<std::size_t>(n), static_cast<std::size_t>(peak), 5);
    Samples expected_wave(period(spb));
    literal::P2PRBS(expected_wave.data(), response.data(), n, spb);
    const Samples wave = fold(response, spb);
    ASSERT_THAT(wave, HasSameBits(expected_wave));

    // Unfold the response's own period (n = L), so the peak stays in place.
    Samples own_period(period(spb));
    literal::P2PRBS(own_period.data(), response.data(), static_cast<int32_t>(period(spb)), spb);
    Samples expected_pulse(static_cast<std::size_t>(n));
    literal::PRBS2P(expected_pulse.data(), own_period.data(), n, spb);
    EXPECT_THAT(unfold(own_period, n, spb), HasSameBits(expected_pulse));
}

INSTANTIATE_TEST_SUITE_P(Layouts, Prbs7MatchesTheLiteralTranscription,
                         ::testing::Values(UnfoldCase{1, 0, 5}, UnfoldCase{1, 1, 13},
                                           UnfoldCase{2, 50, 24}, UnfoldCase{2, 50, 25},
                                           UnfoldCase{3, 200, 200}, UnfoldCase{4, 3, 500},
                                           UnfoldCase{8, 0, 700}, UnfoldCase{5, 1000, 100},
                                           UnfoldCase{32, 1000, 3000}),
                         [](const ::testing::TestParamInfo<UnfoldCase> &row) {
                             return "spb" + std::to_string(row.param.samples_per_bit) + "extra" +
                                    std::to_string(row.param.extra) + "peak" +
                                    std::to_string(row.param.peak);
                         });

// ---- Unfolds shorter than a period (exact-size arrays for the sanitizers) --

TEST(Prbs7UnfoldShorterThanPeriod, GivesTheFirstSamplesOfTheFullPeriod) {
    for (const int32_t spb : {1, 3}) {
        const auto L = static_cast<int32_t>(period(spb));
        const Samples wave = fold(peaked_response(40, 9, 3), spb);
        const Samples whole = unfold(wave, L, spb);
        for (const int32_t n : {1, 5, 6, 40, L - 1}) {
            SCOPED_TRACE("spb " + std::to_string(spb) + ", n " + std::to_string(n));
            EXPECT_THAT(unfold(wave, n, spb),
                        HasSameBits(slice(whole, 0, static_cast<std::size_t>(n))));
            Samples impulse(static_cast<std::size_t>(n));
            PRBS2I(impulse.data(), wave.data(), n, spb, T);
            const Samples head = slice(whole, 0, static_cast<std::size_t>(n));
            Samples expected(static_cast<std::size_t>(n));
            P2I(expected.data(), head.data(), n, spb, T);
            EXPECT_THAT(impulse, HasSameBits(expected));
        }
    }
}

TEST(Prbs7UnfoldShorterThanPeriod, NoBitOrNoSamplesWriteZerosOrNothing) {
    const Samples wave(period(1), 1.0);
    Samples out(4, -7.0);
    PRBS2P(out.data(), wave.data(), 4, 0, T);
    EXPECT_THAT(out, Each(0.0));
    std::fill(out.begin(), out.end(), -7.0);
    PRBS2I(out.data(), wave.data(), 4, -2, T);
    EXPECT_THAT(out, Each(0.0));
    std::fill(out.begin(), out.end(), -7.0);
    PRBS2P(out.data(), wave.data(), 0, 1, T);
    PRBS2I(out.data(), wave.data(), -3, 1, T);
    EXPECT_THAT(out, Each(-7.0));
}

// Beyond 5 636 440 samples per bit a three-period waveform has more than
// 2^31 - 1 samples: the functions needing scratch act as without memory,
// before reading anything.
TEST(Prbs7UnfoldShorterThanPeriod, TooManySamplesPerBitActLikeNoMemory) {
    const int32_t too_many = 5636441;
    const Samples one{1.0};
    Samples out(3, -7.0);
    PRBS2P(out.data(), one.data(), 3, too_many, T);
    EXPECT_THAT(out, Each(0.0));
    std::fill(out.begin(), out.end(), -7.0);
    PRBS2I(out.data(), one.data(), 3, too_many, T);
    EXPECT_THAT(out, Each(0.0));
    double *waveform = &out[0];
    int32_t length = -1;
    int32_t shift = -1;
    I2PRBS7(&waveform, one.data(), 1, too_many, &length, &shift, T);
    EXPECT_EQ(waveform, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(shift, 0);
}

// ---- The three-period route -----------------------------------------------

struct ThreePeriods {
    double *waveform = nullptr;
    int32_t length = -1;
    int32_t shift = -1;
};

ThreePeriods make_three_periods(const Samples &h, int32_t spb) {
    ThreePeriods three;
    I2PRBS7(&three.waveform, h.data(), static_cast<int32_t>(h.size()), spb, &three.length,
            &three.shift, T);
    return three;
}

Samples back_from(ThreePeriods three, int32_t n, int32_t spb) {
    Samples impulse(static_cast<std::size_t>(n), -99.0);
    PRBS72I(impulse.data(), &three.waveform, n, spb, &three.shift, T);
    return impulse;
}

struct ShiftCase {
    std::string name;
    int32_t samples_per_bit;
    int32_t n;
    int32_t peak;
    int32_t shift;
};

void PrintTo(const ShiftCase &c, std::ostream *os) {
    *os << c.name;
}

class Prbs7ThreePeriods : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(Prbs7ThreePeriods, RotatesFoldsAndPutsEverySampleBack) {
    const ShiftCase &c = GetParam();
    const Samples h =
        bump_response(static_cast<std::size_t>(c.n), static_cast<std::size_t>(c.peak), 11);
    const ThreePeriods three = make_three_periods(h, c.samples_per_bit);
    ASSERT_NE(three.waveform, nullptr);
    EXPECT_EQ(three.length, 381 * c.samples_per_bit);
    EXPECT_EQ(three.shift, c.shift);

    // Three copies of the fold of the response rotated by the shift.
    Samples rotated = h;
    std::rotate(rotated.begin(), rotated.end() - c.shift, rotated.end());
    Samples one(period(c.samples_per_bit));
    I2PRBS(one.data(), rotated.data(), c.n, c.samples_per_bit, T);
    const Samples all(three.waveform, three.waveform + three.length);
    for (std::size_t copy = 0; copy < 3; ++copy) {
        EXPECT_THAT(slice(all, copy * one.size(), (copy + 1) * one.size()), HasSameBits(one));
    }

    // Back in place: the peak where it was (for responses longer than the
    // period the unfold lays the period out from 12 bits before its peak,
    // which keeps a peak rotated to within 12 bits in place too).
    const Samples back = back_from(three, c.n, c.samples_per_bit);
    const auto largest = std::max_element(
        back.begin(), back.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(largest - back.begin(), c.peak);
}

INSTANTIATE_TEST_SUITE_P(Peaks, Prbs7ThreePeriods,
                         ::testing::Values(ShiftCase{"PeakAtEightBitsStays", 2, 250, 16, 16},
                                           ShiftCase{"PeakBeyondEightBitsLosesFour", 2, 250, 17, 9},
                                           ShiftCase{"EarlyPeak", 4, 508, 3, 3},
                                           ShiftCase{"LatePeak", 4, 500, 490, 474},
                                           ShiftCase{"ShortResponse", 4, 40, 35, 19},
                                           ShiftCase{"LongerThanAPeriod", 2, 300, 10, 10}),
                         [](const ::testing::TestParamInfo<ShiftCase> &row) {
                             return row.param.name;
                         });

TEST(Prbs7ThreePeriods, EmptyResponseAndNoBit) {
    const ThreePeriods empty = make_three_periods({}, 2);
    ASSERT_NE(empty.waveform, nullptr);
    EXPECT_EQ(empty.length, 762);
    EXPECT_EQ(empty.shift, 0);
    EXPECT_THAT(Samples(empty.waveform, empty.waveform + empty.length), Each(0.0));
    EXPECT_TRUE(back_from(empty, 0, 2).empty());  // frees the waveform

    const ThreePeriods no_bit = make_three_periods({1.0, 2.0}, 0);
    EXPECT_EQ(no_bit.waveform, nullptr);
    EXPECT_EQ(no_bit.length, 0);
    EXPECT_EQ(no_bit.shift, 0);
    EXPECT_THAT(back_from(no_bit, 2, 0), Each(0.0));
}

TEST(Prbs7ThreePeriods, ShiftIsTakenModuloTheLength) {
    const Samples h = peaked_response(50, 7, 2);
    for (const int32_t shift : {-3, 53, -103}) {
        ThreePeriods with = make_three_periods(h, 1);
        ThreePeriods reduced = make_three_periods(h, 1);
        with.shift = shift;
        reduced.shift = ((shift % 50) + 50) % 50;
        EXPECT_THAT(back_from(with, 50, 1), HasSameBits(back_from(reduced, 50, 1)));
    }
}

}  // namespace
