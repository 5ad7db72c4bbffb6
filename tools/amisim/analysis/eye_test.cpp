// The streamed eye against a brute-force computation over the whole
// waveform held in memory, and against eyes worked out by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/bit_pattern.h"
#include "tools/amisim/stimulus/prbs.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

using ::testing::DoubleEq;
using ::testing::DoubleNear;
using ::testing::Pointwise;

// The waveform of bits (or symbols, at the levels) through taps, whole,
// from its definition.
std::vector<double> whole_waveform(const std::vector<std::uint8_t> &bits, int spb,
                                   const std::vector<double> &taps,
                                   const std::vector<double> &levels = {-0.5, 0.5}) {
    std::vector<double> x;
    for (std::uint8_t b : bits) {
        x.insert(x.end(), static_cast<std::size_t>(spb), levels[b]);
    }
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < y.size(); ++n) {
        for (std::size_t k = 0; k < taps.size() && k <= n; ++k) {
            y[n] += taps[k] * x[n - k];
        }
    }
    return y;
}

struct BruteForceEye {
    std::vector<std::uint64_t> histogram;
    std::vector<std::vector<double>> lowest;  // [symbol][slot]
    std::vector<std::vector<double>> highest;
    std::vector<double> centre_means;  // [symbol]
    double range = 0.0;
};

// Every sample placed by the eye's definition: decided bit, phase slot and
// column from the sample's offset to the cursor; the range the first power
// of two that holds every sample.
BruteForceEye brute_force_eye(const std::vector<double> &wave,
                              const std::vector<std::uint8_t> &bits,
                              const amisim::EyeLayout &layout) {
    const std::int64_t spb = layout.samples_per_bit;
    BruteForceEye eye;
    eye.range = 1.0;
    while (eye.range <= layout.expected_swing) {
        eye.range *= 2.0;
    }
    while (eye.range / 2.0 > layout.expected_swing) {
        eye.range /= 2.0;
    }
    auto settled = [&](std::size_t n) {
        const std::int64_t offset =
            static_cast<std::int64_t>(n) - static_cast<std::int64_t>(layout.centre) + spb / 2;
        const std::int64_t k = offset >= 0 ? offset / spb : -((-offset + spb - 1) / spb);
        return k >= layout.settle_bits;
    };
    for (std::size_t n = 0; n < wave.size(); ++n) {
        while (settled(n) && !(wave[n] >= -eye.range && wave[n] < eye.range)) {
            eye.range *= 2.0;
        }
    }
    eye.histogram.assign(static_cast<std::size_t>(2 * spb * amisim::kEyeRows), 0);
    const auto levels = static_cast<std::size_t>(layout.levels);
    eye.lowest.assign(levels, std::vector<double>(static_cast<std::size_t>(spb), HUGE_VAL));
    eye.highest.assign(levels, std::vector<double>(static_cast<std::size_t>(spb), -HUGE_VAL));
    std::vector<double> centre_sums(levels, 0.0);
    std::vector<double> centre_counts(levels, 0.0);
    for (std::size_t n = 0; n < wave.size(); ++n) {
        if (!settled(n)) {
            continue;
        }
        const std::int64_t offset =
            static_cast<std::int64_t>(n) - static_cast<std::int64_t>(layout.centre);
        const std::int64_t k = (offset + spb / 2) / spb;  // settled: never negative
        const auto slot = static_cast<std::size_t>(offset + spb / 2 - k * spb);
        const auto column =
            static_cast<std::size_t>(((offset + spb) % (2 * spb) + 2 * spb) % (2 * spb));
        const double row = std::floor(wave[n] / (2.0 * eye.range) * amisim::kEyeRows);
        ++eye.histogram[column * amisim::kEyeRows +
                        static_cast<std::size_t>(row + amisim::kEyeRows / 2)];
        const std::uint8_t symbol = bits[static_cast<std::size_t>(k)];
        eye.lowest[symbol][slot] = std::min(eye.lowest[symbol][slot], wave[n]);
        eye.highest[symbol][slot] = std::max(eye.highest[symbol][slot], wave[n]);
        if (slot == static_cast<std::size_t>(spb / 2)) {
            centre_sums[symbol] += wave[n];
            centre_counts[symbol] += 1.0;
        }
    }
    for (std::size_t s = 0; s < levels; ++s) {
        eye.centre_means.push_back(centre_sums[s] / centre_counts[s]);
    }
    return eye;
}

struct EyeCase {
    const char *name;
    int spb;
    std::size_t centre;
    std::int64_t settle_bits;
    double expected_swing;  // small ones make the density widen as it goes
    std::vector<std::size_t> adds;
    int levels = 2;
};

class StreamedEye : public ::testing::TestWithParam<EyeCase> {};

TEST_P(StreamedEye, EqualsTheBruteForceEye) {
    const EyeCase &c = GetParam();
    std::vector<double> taps(40);
    for (std::size_t k = 0; k < taps.size(); ++k) {
        taps[k] = 0.12 * std::exp(-static_cast<double>(k) / 9.0) * (k % 3 == 0 ? 1.3 : 1.0);
    }
    // The last samples may be decided as the bit after the waveform's last.
    amisim::BitPattern pattern;
    pattern.prbs_order = 9;
    amisim::SymbolStream symbols(pattern, c.levels);
    std::vector<std::uint8_t> bits(701);
    for (std::uint8_t &b : bits) {
        b = static_cast<std::uint8_t>(symbols.next());
    }
    const std::vector<double> wave =
        whole_waveform({bits.begin(), bits.end() - 1}, c.spb, taps, amisim::pam_levels(c.levels));
    amisim::EyeLayout layout;
    layout.levels = c.levels;
    layout.samples_per_bit = c.spb;
    layout.centre = c.centre;
    layout.settle_bits = c.settle_bits;
    layout.prbs_order = 9;
    layout.expected_swing = c.expected_swing;
    amisim::EyeAccumulator eye(layout);
    std::size_t done = 0;
    for (std::size_t a = 0; done < wave.size(); ++a) {
        const std::size_t count = std::min(c.adds[a % c.adds.size()], wave.size() - done);
        eye.add(wave.data() + done, count);
        done += count;
    }
    const BruteForceEye expected = brute_force_eye(wave, bits, layout);
    EXPECT_EQ(eye.range(), expected.range);
    EXPECT_EQ(eye.histogram(), expected.histogram);
    // The extremes the eyes need: no lowest of the lowest symbol, no
    // highest of the highest.
    for (int s = 0; s < c.levels; ++s) {
        const auto symbol = static_cast<std::size_t>(s);
        if (s > 0) {
            EXPECT_THAT(eye.density().lowest(s), Pointwise(DoubleEq(), expected.lowest[symbol]));
        }
        if (s + 1 < c.levels) {
            EXPECT_THAT(eye.density().highest(s), Pointwise(DoubleEq(), expected.highest[symbol]));
        }
    }
    EXPECT_THAT(eye.density().centre_means(), Pointwise(DoubleEq(), expected.centre_means));
    EXPECT_EQ(eye.non_finite(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AmisimEye, StreamedEye,
                         ::testing::ValuesIn(std::vector<EyeCase>{
                             {"CursorInTheFirstBit", 8, 3, 6, 1.0, {8000}},
                             {"CursorSeveralBitsIn", 8, 29, 6, 1.0, {1, 7, 64, 5}},
                             {"OddSamplesPerBit", 7, 12, 7, 1.0, {3, 11}},
                             {"DensityWidensAsItGoes", 8, 10, 6, 0.01, {13, 100}},
                             {"NothingLeftOut", 4, 0, 0, 0.3, {4096}},
                             {"Pam4", 8, 29, 6, 1.0, {1, 7, 64, 5}, 4},
                             {"Pam4WidensAsItGoes", 7, 12, 7, 0.01, {13, 100}, 4},
                         }),
                         [](const auto &row) { return std::string(row.param.name); });

// A channel of one tap passes the NRZ levels: centred on the middle of the
// flat pulse, every phase sees exactly +0.5 for a 1 and -0.5 for a 0.
TEST(AmisimEye, IdealNrzIsOpenAcrossTheWholeUnitInterval) {
    const int spb = 8;
    amisim::NrzSource source(7, spb);
    std::vector<double> wave(400 * spb);
    source.fill(wave.data(), wave.size());
    amisim::EyeLayout layout;
    layout.samples_per_bit = spb;
    layout.centre = amisim::measure_response({1.0}, spb, 1.0).eye_centre;
    layout.settle_bits = 1;
    amisim::EyeAccumulator eye(layout);
    eye.add(wave.data(), wave.size());
    const amisim::EyeFigures figures = amisim::eye_figures(eye);
    ASSERT_TRUE(figures.measured);
    EXPECT_THAT(figures.bathtub, Pointwise(DoubleEq(), std::vector<double>(spb, 1.0)));
    EXPECT_EQ(figures.best_slot, spb / 2);  // on a tie, the cursor
    EXPECT_EQ(figures.height, 1.0);
    EXPECT_EQ(figures.width, spb);
}

// A boxcar of 8 taps of 1/8 ramps each transition linearly over 8 samples,
// and an echo of a quarter of it two bits (32 samples) later; spb = 16. The
// pulse is flat (1) from sample 7 to 15, so the eye is centred on sample
// 11: slot s is sample j = s + 3 of a bit for s <= 12, and sample s - 13 of
// the next bit for s >= 13. Without the echo, a sample j < 7 is 0.5 (j+1)/8
// of its bit plus 0.5 (7-j)/8 of the bit before: for the bit being decided
// the worst 1 and 0 differ by (j - 3)/4 (j >= 3), for the bit before by
// (3 - j)/4 (j < 3); from j = 7 on the levels are settled at +-0.5. The
// echo, from two other bits, can add +-0.125 anywhere: 0.25 off every
// height. So the bathtub is -0.25, 0, 0.25, 0.5, 0.75 (slots 4 to 12),
// 0.5, 0.25, 0: open around slot 8 between slots 1 and 15, where the
// heights reach 0, 14 samples.
TEST(AmisimEye, BoxcarWithAnEchoGivesTheHandWorkedBathtub) {
    const int spb = 16;
    std::vector<double> taps(40, 0.0);
    for (std::size_t k = 0; k < 8; ++k) {
        taps[k] = 1.0 / 8.0;
        taps[32 + k] = 0.25 / 8.0;
    }
    const std::vector<std::uint8_t> bits = amisim::prbs_bits(7, 400);
    const std::vector<double> wave = whole_waveform(bits, spb, taps);
    amisim::EyeLayout layout;
    layout.samples_per_bit = spb;
    layout.centre = amisim::measure_response(taps, spb, 1.0).eye_centre;
    ASSERT_EQ(layout.centre, 11u);
    layout.settle_bits = 4;
    amisim::EyeAccumulator eye(layout);
    eye.add(wave.data(), wave.size());
    const amisim::EyeFigures figures = amisim::eye_figures(eye);
    EXPECT_THAT(figures.bathtub,
                Pointwise(DoubleNear(1e-15),
                          std::vector<double>{-0.25, 0, 0.25, 0.5, 0.75, 0.75, 0.75, 0.75, 0.75,
                                              0.75, 0.75, 0.75, 0.75, 0.5, 0.25, 0}));
    EXPECT_EQ(figures.best_slot, 8);
    EXPECT_NEAR(figures.height, 0.75, 1e-15);
    EXPECT_NEAR(figures.width, 14.0, 1e-12);
}

// The bathtub is periodic: an opening may run from the last slots of one bit
// into the first of the next. With spb 4 and the centre at sample 2, sample
// n is slot n mod 4 of bit n / 4; each 1 sits at +h/2 and each 0 at -h/2 of
// the slot's height h: 0.5, 0.2, -0.1, 0.3. The best slot is 0; the eye is
// open from -1 - 0.3/0.4 (slot 3 of the bit before) to 1 + 0.2/0.3.
TEST(AmisimEye, OpeningRunsRoundTheEndOfTheBit) {
    const std::vector<double> height{0.5, 0.2, -0.1, 0.3};
    const std::vector<std::uint8_t> bits = amisim::prbs_bits(7, 200);
    std::vector<double> wave;
    for (std::uint8_t b : bits) {
        for (double h : height) {
            wave.push_back(b != 0 ? h / 2 : -h / 2);
        }
    }
    amisim::EyeLayout layout;
    layout.samples_per_bit = 4;
    layout.centre = 2;
    amisim::EyeAccumulator eye(layout);
    eye.add(wave.data(), wave.size());
    const amisim::EyeFigures figures = amisim::eye_figures(eye);
    EXPECT_THAT(figures.bathtub, Pointwise(DoubleEq(), height));
    EXPECT_EQ(figures.best_slot, 0);
    EXPECT_DOUBLE_EQ(figures.width, (1.0 + 0.2 / 0.3) + (1.0 + 0.3 / 0.4));
}

// One sample per bit at +-0.5, except the worst 1 and the worst 0.
TEST(AmisimEye, FiguresOfClosedAndUnmeasuredEyes) {
    struct Case {
        const char *name;
        std::size_t bits;
        double worst_one, worst_zero;
        bool measured;
        double height;
    };
    const std::vector<std::uint8_t> prbs = amisim::prbs_bits(7, 64);
    ASSERT_EQ(prbs[0], 0);  // this PRBS7 starts with six 0s, then a 1
    for (const Case &c :
         {Case{"no 1 yet", 6, 0.0, -0.1, false, 0.0}, Case{"closed", 64, -0.2, 0.1, true, -0.3},
          Case{"open", 64, 0.2, -0.1, true, 0.3}}) {
        SCOPED_TRACE(c.name);
        std::vector<double> wave(c.bits);
        for (std::size_t n = 0; n < c.bits; ++n) {
            wave[n] = prbs[n] != 0 ? 0.5 : -0.5;
        }
        wave[0] = c.worst_zero;
        if (c.bits > 6) {
            wave[6] = c.worst_one;
        }
        amisim::EyeAccumulator eye{amisim::EyeLayout{}};
        eye.add(wave.data(), wave.size());
        const amisim::EyeFigures figures = amisim::eye_figures(eye);
        EXPECT_EQ(figures.measured, c.measured);
        EXPECT_DOUBLE_EQ(figures.height, c.height);
        EXPECT_EQ(figures.width, c.height > 0.0 ? 1.0 : 0.0);
    }
}

TEST(AmisimEye, NonFiniteSamplesAreCountedAndLeftOut) {
    amisim::EyeLayout layout;
    layout.samples_per_bit = 2;
    amisim::EyeAccumulator eye(layout);
    const double wave[] = {0.5, std::numeric_limits<double>::quiet_NaN(), HUGE_VAL, -0.25};
    eye.add(wave, 4);
    EXPECT_EQ(eye.non_finite(), 2u);
    EXPECT_EQ(eye.samples(), 2u);
    EXPECT_EQ(eye.range(), 2.0);  // the first power of two above the default swing of 1
}

}  // namespace
