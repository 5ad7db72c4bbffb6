// The DFE: worked examples of both paths, agreement with the step-by-step
// definition, and the arguments it turns into a pass-through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_literal.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pointwise;
using ::testing::StrEq;

using OwnedDFE = Owned<DFE, DeleteDFE>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

DFE make(const char *mode, std::vector<double> taps, int32_t spacing = 1, double resolution = 0.01,
         double step = 0.01, double lowest = -1, double highest = 1) {
    return SetupDFE(static_cast<int32_t>(taps.size()), taps.data(), spacing, lowest, highest,
                    resolution, mode, step, nullptr, 0);
}

std::vector<double> taps_of(const DFE &dfe) {
    return {dfe.taps, dfe.taps + dfe.tap_count};
}

std::vector<double> on_impulse(const DFE &dfe, std::vector<double> response, double interval) {
    ApplyDFE(response.data(), static_cast<int32_t>(response.size()), dfe, 1, interval, nullptr,
             response.data());
    return response;
}

std::vector<double> on_wave(const DFE &dfe, const std::vector<double> &wave,
                            const std::vector<double> &decisions) {
    std::vector<double> out(wave.size(), -99.0);
    ApplyDFE(wave.data(), static_cast<int32_t>(wave.size()), dfe, 0, 0.0, decisions.data(),
             out.data());
    return out;
}

TEST(DFE, OffPassesBothPathsThroughAndKeepsItsTaps) {
    const OwnedDFE dfe(make("off", {0.3, -0.2}));
    EXPECT_THAT(on_impulse(dfe.get(), {0, 1, 0.5, 0.25}, 1.0), ElementsAre(0, 1, 0.5, 0.25));
    EXPECT_THAT(on_wave(dfe.get(), {1, -1, 0.5}, {0.5, -0.5}), ElementsAre(1, -1, 0.5));
    EXPECT_THAT(taps_of(dfe.get()), ElementsAre(0.3, -0.2));
}

TEST(DFE, SetupReadsTheModeKeywordAndNullTaps) {
    char msg[256] = "";
    const OwnedDFE unknown(SetupDFE(2, nullptr, 1, -1, 1, 0.01, "Fixed ", 0.1, msg, sizeof msg));
    EXPECT_EQ(unknown->mode, 0);
    EXPECT_THAT(taps_of(unknown.get()), ElementsAre(0.0, 0.0));
    EXPECT_THAT(msg, StrEq("**Warning** Control mode Fixed  not recognized. Defaulting to "
                           "\"off\".\n"));
    const OwnedDFE on(make("On", {0.1}));
    EXPECT_EQ(on->mode, 2);
}

TEST(DFEImpulse, AutoCancelsThePostCursors) {
    const OwnedDFE dfe(make("auto", {0, 0}));
    EXPECT_THAT(on_impulse(dfe.get(), {0, 1.0, 0.5, 0.25, 0}, 1.0), ElementsAre(0, 1, 0, 0, 0));
    EXPECT_THAT(taps_of(dfe.get()), ElementsAre(-0.5, -0.25));
}

TEST(DFEImpulse, FixedAddsItsTapsOverTheSampleInterval) {
    const OwnedDFE dfe(make("fixed", {0.1, -0.2}, 4));
    std::vector<double> response(12, 0.0);
    response[2] = -3.0;  // the main cursor by magnitude
    std::vector<double> expected = response;
    expected[6] = 0.1 / 0.25;
    expected[10] = -0.2 / 0.25;
    EXPECT_THAT(on_impulse(dfe.get(), response, 0.25), ElementsAreArray(expected));
    EXPECT_THAT(taps_of(dfe.get()), ElementsAre(0.1, -0.2));
}

TEST(DFEImpulse, PositionsWrapAndCoincidingCorrectionsAdd) {
    // Main cursor at 3 of 5; S = 2: positions 0 and 2.
    const OwnedDFE wrapping(make("adapt", {1, 2}, 2));
    EXPECT_THAT(on_impulse(wrapping.get(), {0, 0, 0, 1, 0}, 1.0), ElementsAre(1, 0, 2, 1, 0));
    // S = length: every position is the main cursor itself.
    const OwnedDFE coinciding(make("fixed", {0.25, 0.5}, 3));
    EXPECT_THAT(on_impulse(coinciding.get(), {0, 2, 1}, 1.0), ElementsAre(0, 2.75, 1));
    // The first of equal magnitudes is the main cursor.
    const OwnedDFE first(make("fixed", {1}, 1));
    EXPECT_THAT(on_impulse(first.get(), {0, -2, 2, 0}, 1.0), ElementsAre(0, -2, 3, 0));
}

TEST(DFEImpulse, SpacingsBeyondTheResponseWrapWithoutOverflow) {
    const OwnedDFE dfe(make("fixed", {1, 1, 1}, INT32_MAX));
    std::vector<double> response(7, 0.0);
    response[5] = 4.0;
    std::vector<double> expected = response;
    for (int64_t k = 0; k < 3; ++k) {
        expected[static_cast<std::size_t>((5 + (k + 1) * int64_t{INT32_MAX}) % 7)] += 1.0;
    }
    EXPECT_THAT(on_impulse(dfe.get(), response, 1.0), ElementsAreArray(expected));
}

// Responses and arguments without a main cursor, a spacing or a time axis
// are left as they are, taps included.
TEST(DFEImpulse, UndefinedCasesLeaveResponseAndTaps) {
    struct Case {
        const char *name;
        int32_t spacing;
        double interval;
        std::vector<double> response;
    };
    for (const Case &c :
         {Case{"all_zero", 1, 1.0, {0, 0, -0.0, 0}}, Case{"all_nan", 1, 1.0, {kNaN, kNaN}},
          Case{"zero_spacing", 0, 1.0, {0, 1, 0.5}}, Case{"negative_spacing", -3, 1.0, {0, 1, 0.5}},
          Case{"zero_interval", 1, 0.0, {0, 1, 0.5}}, Case{"nan_interval", 1, kNaN, {0, 1, 0.5}},
          Case{"infinite_interval", 1, kInf, {0, 1, 0.5}}}) {
        SCOPED_TRACE(c.name);
        const OwnedDFE dfe(make("auto", {0.125, 0.25}, c.spacing));
        const std::vector<double> out = on_impulse(dfe.get(), c.response, c.interval);
        EXPECT_EQ(std::memcmp(out.data(), c.response.data(), out.size() * sizeof(double)), 0);
        EXPECT_THAT(taps_of(dfe.get()), ElementsAre(0.125, 0.25));
    }
    // No samples at all: nothing to read or write.
    const OwnedDFE dfe(make("auto", {0.125}));
    double untouched = 7.0;
    for (int32_t count : {0, -1, INT32_MIN}) {
        ApplyDFE(&untouched, count, dfe.get(), 1, 1.0, nullptr, &untouched);
    }
    EXPECT_EQ(untouched, 7.0);
    EXPECT_THAT(taps_of(dfe.get()), ElementsAre(0.125));
}

TEST(DFEWaveform, FixedQuantisesTowardMinusInfinity) {
    const OwnedDFE up(make("fixed", {0.037}));
    const OwnedDFE down(make("fixed", {-0.037}));
    EXPECT_THAT(on_wave(up.get(), {1.0, -0.25}, {0.5}),
                Pointwise(DoubleEq(), {1.0 + 0.015, -0.25 + 0.015}));
    EXPECT_THAT(on_wave(down.get(), {1.0}, {-0.5}), Pointwise(DoubleEq(), {1.0 + 0.02}));
    EXPECT_THAT(taps_of(up.get()), ElementsAre(0.037));
}

TEST(DFEWaveform, AdaptStepsAgainstTheEqualisedSample) {
    const OwnedDFE dfe(make("adapt", {0.0}, 1, 0.01, 0.01, -0.1, 0.1));
    EXPECT_THAT(on_wave(dfe.get(), {1.0}, {0.5}), ElementsAre(1.0));
    EXPECT_THAT(taps_of(dfe.get()), ElementsAre(-0.005));
    // The next sample already uses the adapted tap, quantised to -0.01.
    EXPECT_THAT(on_wave(dfe.get(), {1.0}, {0.5}), ElementsAre(1.0 + -0.01 * 0.5));
}

TEST(DFEWaveform, AdaptedTapsStayWithinTheirLimits) {
    const OwnedDFE dfe(make("auto", {0.0, 0.05, -0.05}, 1, 0.001, 0.3, -0.1, 0.1));
    std::vector<double> wave(2000);
    for (std::size_t t = 0; t < wave.size(); ++t) {
        wave[t] = 3.0 * std::sin(0.9 * static_cast<double>(t));
    }
    for (const std::vector<double> &decisions :
         {std::vector<double>{0.5, -0.5, 0.5}, {-0.5, -0.5, 0.5}}) {
        (void)on_wave(dfe.get(), wave, decisions);
        for (double tap : taps_of(dfe.get())) {
            EXPECT_GE(tap, -0.1);
            EXPECT_LE(tap, 0.1);
        }
    }
    // A lower limit above the upper one: the upper limit wins.
    const OwnedDFE crossed(make("adapt", {0.0}, 1, 0.01, 0.01, 0.2, -0.2));
    (void)on_wave(crossed.get(), {1.0}, {0.5});
    EXPECT_THAT(taps_of(crossed.get()), ElementsAre(-0.2));
}

// Resolutions with which floor(tap / resolution) is not a number of steps:
// the tap is applied as it is, and the output stays finite.
TEST(DFEWaveform, ResolutionsThatCannotQuantiseApplyTheTapItself) {
    for (double resolution : {0.0, -0.0, -0.01, kNaN, kInf, -kInf, 1e-320}) {
        SCOPED_TRACE("resolution " + std::to_string(resolution));
        for (const char *mode : {"fixed", "adapt"}) {
            const OwnedDFE dfe(make(mode, {0.037, -0.5}, 1, resolution, 0.0));
            EXPECT_THAT(
                on_wave(dfe.get(), {1.0, 0.0}, {0.5, -0.5}),
                ElementsAre((1.0 + 0.037 * 0.5) + -0.5 * -0.5, (0.0 + 0.037 * 0.5) + -0.5 * -0.5));
        }
    }
}

TEST(DFEWaveform, NoDecisionsOrNoTapsPassThrough) {
    const OwnedDFE dfe(make("adapt", {0.5}));
    std::vector<double> wave{1, 2};
    ApplyDFE(wave.data(), 2, dfe.get(), 0, 0.0, nullptr, wave.data());
    EXPECT_THAT(wave, ElementsAre(1, 2));
    for (int32_t count : {0, -2}) {
        const OwnedDFE empty(SetupDFE(count, nullptr, 1, -1, 1, 0.01, "adapt", 0.1, nullptr, 0));
        EXPECT_EQ(empty->tap_count, 0);
        EXPECT_EQ(empty->taps, nullptr);
        EXPECT_THAT(on_wave(empty.get(), {1, 2}, {0.5}), ElementsAre(1, 2));
        EXPECT_THAT(on_impulse(empty.get(), {0, 1, 2}, 1.0), ElementsAre(0, 1, 2));
    }
}

// Both paths and every mode against the definition, bit for bit, over
// several calls with changing decisions; taps included.
TEST(DFE, AgreesWithTheDefinitionBitForBit) {
    std::vector<double> wave(700);
    for (std::size_t t = 0; t < wave.size(); ++t) {
        wave[t] = 0.6 * std::sin(0.31 * static_cast<double>(t)) + (t % 9 < 4 ? 0.5 : -0.5);
    }
    const std::vector<double> initial{0.031, -0.047, 0.0, 0.012, -0.2, 0.09, -0.0, 0.004};
    for (const char *mode : {"fixed", "auto", "adapt"}) {
        for (double resolution : {0.01, 0.003, 1.0}) {
            SCOPED_TRACE(std::string(mode) + ", resolution " + std::to_string(resolution));
            const OwnedDFE fast(make(mode, initial, 3, resolution, 0.02, -0.15, 0.12));
            const OwnedDFE slow(make(mode, initial, 3, resolution, 0.02, -0.15, 0.12));
            std::vector<double> fast_out(wave.size());
            std::vector<double> slow_out(wave.size());
            std::vector<double> decisions(initial.size(), 0.5);
            std::size_t done = 0;
            for (std::size_t size : {1U, 40U, 0U, 513U, 146U}) {
                const auto n = static_cast<int32_t>(std::min(size, wave.size() - done));
                ApplyDFE(wave.data() + done, n, fast.get(), 0, 0.0, decisions.data(),
                         fast_out.data() + done);
                literal_apply_dfe(wave.data() + done, n, slow.get(), 0, 0.0, decisions.data(),
                                  slow_out.data() + done);
                done += static_cast<std::size_t>(n);
                decisions.insert(decisions.begin(), size % 2 == 0 ? 0.5 : -0.5);
                decisions.pop_back();
            }
            EXPECT_EQ(std::memcmp(fast_out.data(), slow_out.data(), wave.size() * sizeof(double)),
                      0);
            EXPECT_EQ(taps_of(fast.get()), taps_of(slow.get()));

            std::vector<double> response(96);
            for (std::size_t t = 0; t < response.size(); ++t) {
                response[t] = std::exp(-0.1 * static_cast<double>(t)) * (t > 4 ? 1e9 : 0.0);
            }
            std::vector<double> fast_response(response.size());
            std::vector<double> slow_response(response.size());
            ApplyDFE(response.data(), 96, fast.get(), 1, 2.5e-12, nullptr, fast_response.data());
            literal_apply_dfe(response.data(), 96, slow.get(), 1, 2.5e-12, nullptr,
                              slow_response.data());
            EXPECT_EQ(std::memcmp(fast_response.data(), slow_response.data(), 96 * sizeof(double)),
                      0);
            EXPECT_EQ(taps_of(fast.get()), taps_of(slow.get()));
        }
    }
}

}  // namespace
