// Automatic gain control: its level estimate from an impulse response, the
// smoothed update per call, and the gain that never becomes NaN or
// infinite.
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
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;

using OwnedAGC = Owned<AGC, DeleteAGC>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> run(const AGC &agc, const std::vector<double> &input, int32_t hold = 0) {
    std::vector<double> output(input.size(), -99.0);
    ApplyAGC(input.data(), static_cast<int32_t>(input.size()), agc, hold, output.data());
    return output;
}

AGC without_response(double target) {
    return SetupAGC(target, nullptr, 0, 0.0, 0);
}

TEST(AGC, FirstBlocksMoveTheLevelOnePercentOfTheWay) {
    const OwnedAGC at_target(without_response(0.5));
    EXPECT_EQ(*at_target->gain, 1.0);
    EXPECT_EQ(*at_target->level, 0.5);
    EXPECT_THAT(run(at_target.get(), {0.5, -0.5, 0.5, -0.5}), ElementsAre(0.5, -0.5, 0.5, -0.5));
    EXPECT_EQ(*at_target->level, 0.5);
    EXPECT_EQ(*at_target->gain, 1.0);

    const OwnedAGC loud(without_response(-0.5));
    EXPECT_EQ(loud->target, 0.5);
    const std::vector<double> out = run(loud.get(), {1.5, -1.5});
    EXPECT_EQ(*loud->level, 0.99 * 0.5 + 0.01 * 1.5);
    EXPECT_DOUBLE_EQ(*loud->level, 0.51);
    EXPECT_EQ(*loud->gain, 0.5 / *loud->level);
    EXPECT_THAT(out, ElementsAre(1.5 * *loud->gain, -1.5 * *loud->gain));
}

TEST(AGC, HoldKeepsGainAndLevel) {
    const OwnedAGC agc(without_response(0.5));
    (void)run(agc.get(), {2.0, 2.0});
    const double gain = *agc->gain;
    const double level = *agc->level;
    EXPECT_THAT(run(agc.get(), {1.0, -3.0}, 1), ElementsAre(gain, -3.0 * gain));
    EXPECT_THAT(run(agc.get(), {4.0}, -7), ElementsAre(4.0 * gain));
    EXPECT_EQ(*agc->level, level);
    EXPECT_EQ(*agc->gain, gain);
}

TEST(AGC, SilentBlockRaisesTheGainByOneOverPointNineNine) {
    const OwnedAGC agc(without_response(0.5));
    EXPECT_THAT(run(agc.get(), {0.0, 0.0, 0.0}), Each(0.0));
    EXPECT_EQ(*agc->level, 0.99 * 0.5);
    EXPECT_DOUBLE_EQ(*agc->gain, 1.0 / 0.99);
}

// The update is once per call: the same samples in two calls smooth twice.
TEST(AGC, OneUpdatePerCall) {
    const OwnedAGC whole(without_response(0.5));
    const OwnedAGC halves(without_response(0.5));
    (void)run(whole.get(), {2.0, 2.0});
    (void)run(halves.get(), {2.0});
    (void)run(halves.get(), {2.0});
    EXPECT_EQ(*whole->level, 0.99 * 0.5 + 0.01 * 2.0);
    EXPECT_EQ(*halves->level, 0.99 * (0.99 * 0.5 + 0.01 * 2.0) + 0.01 * 2.0);
}

// An impulse response whose pulse is 1.0 for four samples (4 samples a bit,
// sample interval 0.25): each bit of +-0.5 gives 4 (0.5)^2 = 1 over 4
// samples, an RMS level of 0.5.
TEST(AGC, ImpulseResponseSetsTheExpectedLevel) {
    std::vector<double> impulse(12, 0.0);
    impulse[0] = 4.0;
    const OwnedAGC agc(SetupAGC(0.5, impulse.data(), 12, 0.25, 4));
    EXPECT_EQ(*agc->level, 0.5);
    EXPECT_EQ(*agc->gain, 1.0);
    const OwnedAGC quiet_target(SetupAGC(0.25, impulse.data(), 12, 0.25, 4));
    EXPECT_EQ(*quiet_target->gain, 0.5);
}

// Responses and sizes that give no estimate leave the record as without a
// response.
TEST(AGC, NoEstimateWithoutAUsableResponse) {
    std::vector<double> zeros(8, 0.0);
    std::vector<double> ones(8, 1.0);
    std::vector<double> huge(8, 1e300);
    std::vector<double> nans(8, kNaN);
    struct Case {
        const char *name;
        const double *impulse;
        int32_t length;
        int32_t samples_per_bit;
    };
    for (const Case &c :
         {Case{"all_zero", zeros.data(), 8, 2}, Case{"length_0", ones.data(), 0, 2},
          Case{"negative_length", ones.data(), -3, 2},
          Case{"no_samples_per_bit", ones.data(), 8, 0},
          Case{"negative_samples_per_bit", ones.data(), 8, -4},
          Case{"null_response", nullptr, 8, 2}, Case{"overflowing_energy", huge.data(), 8, 2},
          Case{"nan_response", nans.data(), 8, 2}}) {
        SCOPED_TRACE(c.name);
        const OwnedAGC agc(SetupAGC(-0.3, c.impulse, c.length, 1.0, c.samples_per_bit));
        EXPECT_EQ(*agc->gain, 1.0);
        EXPECT_EQ(*agc->level, 0.3);
        EXPECT_EQ(agc->target, 0.3);
    }
}

// A target of 0 with a silent block, a level that decays to 0, samples that
// are not finite, squares that overflow, targets that are not finite: the
// gain keeps its last finite value.
TEST(AGC, GainNeverBecomesNaNOrInfinite) {
    const OwnedAGC zero_target(without_response(0.0));
    EXPECT_THAT(run(zero_target.get(), {0.0, 0.0}), ElementsAre(0.0, 0.0));
    EXPECT_EQ(*zero_target->level, 0.0);
    EXPECT_EQ(*zero_target->gain, 1.0);
    (void)run(zero_target.get(), {1.0});
    EXPECT_EQ(*zero_target->gain, 0.0);

    const OwnedAGC decaying(without_response(0.5));
    const double silence = 0.0;
    double scaled = 0.0;
    for (int call = 0; call < 80000; ++call) {
        ApplyAGC(&silence, 1, decaying.get(), 0, &scaled);
        ASSERT_TRUE(std::isfinite(*decaying->gain)) << "call " << call;
    }
    // The level sinks into the subnormals, where target / level overflows.
    EXPECT_LT(*decaying->level, 1e-308);
    EXPECT_GT(*decaying->gain, 1e300);

    const OwnedAGC agc(without_response(0.5));
    (void)run(agc.get(), {2.0});
    const double gain = *agc->gain;
    const double level = *agc->level;
    for (const std::vector<double> &block :
         {std::vector<double>{1.0, kNaN}, {kInf, 1.0}, {1e200, 1e200}, {-kInf}}) {
        (void)run(agc.get(), block);
        EXPECT_EQ(*agc->gain, gain);
        EXPECT_EQ(*agc->level, level);
    }
    const std::vector<double> out = run(agc.get(), {2.0});
    EXPECT_NE(*agc->gain, gain);
    EXPECT_THAT(out, ElementsAre(2.0 * *agc->gain));

    for (double target : {kNaN, kInf, -kInf}) {
        const OwnedAGC odd(without_response(target));
        (void)run(odd.get(), {1.0, 2.0});
        EXPECT_EQ(*odd->gain, 1.0);
    }
}

TEST(AGC, NegativeOrZeroCountsDoNothing) {
    const OwnedAGC agc(without_response(0.5));
    double sample = 3.0;
    for (int32_t count : {0, -1, INT32_MIN}) {
        ApplyAGC(&sample, count, agc.get(), 0, &sample);
    }
    EXPECT_EQ(sample, 3.0);
    EXPECT_EQ(*agc->level, 0.5);
    EXPECT_EQ(*agc->gain, 1.0);
}

// Regular blocks, held and not, against the definition, bit for bit.
TEST(AGC, AgreesWithTheDefinitionBitForBit) {
    std::vector<double> impulse(200);
    for (std::size_t i = 0; i < impulse.size(); ++i) {
        impulse[i] = 2e10 * std::exp(-0.05 * static_cast<double>(i));
    }
    const OwnedAGC fast(SetupAGC(0.4, impulse.data(), 200, 1e-12, 16));
    const OwnedAGC slow(SetupAGC(0.4, impulse.data(), 200, 1e-12, 16));
    const std::vector<double> wave = lossy_wave(prbs7_bits(100), 16, 5, 0.7);
    std::vector<double> fast_out(wave.size());
    std::vector<double> slow_out(wave.size());
    std::size_t done = 0;
    int call = 0;
    for (std::size_t size : {1U, 100U, 13U, 400U, 1000U, 2000U}) {
        const auto n = static_cast<int32_t>(std::min(size, wave.size() - done));
        const int32_t hold = call++ == 3 ? 1 : 0;
        ApplyAGC(wave.data() + done, n, fast.get(), hold, fast_out.data() + done);
        literal_apply_agc(wave.data() + done, n, slow.get(), hold, slow_out.data() + done);
        done += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(bits_of(fast_out), bits_of(slow_out));
    EXPECT_EQ(bits_of({*fast->gain, *fast->level}), bits_of({*slow->gain, *slow->level}));
}

}  // namespace
