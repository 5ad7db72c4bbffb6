// The eye at a receiver's clock ticks, against facts known without it: an
// NRZ waveform of 16 samples a bit sampled at ticks of a known phase, ticks
// that a receiver gets wrong, and block sizes that must not matter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/analysis/clocked_eye.h"
#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/channel/channel_stream.h"

namespace {

constexpr int kSpb = 16;
constexpr double kDt = 1e-12;
constexpr std::size_t kBits = 600;

// The stimulus itself (+-0.5 held for a bit), whose pulse response is a box
// from sample 0: the bit grid's centre is sample 8 of each bit.
std::vector<double> nrz() {
    std::vector<double> wave(kBits * kSpb);
    amisim::NrzSource source(7, kSpb);
    source.fill(wave.data(), wave.size());
    return wave;
}

amisim::ClockedEyeLayout layout() {
    amisim::ClockedEyeLayout l;
    l.samples_per_bit = kSpb;
    l.sample_interval = kDt;
    l.centre = kSpb / 2;
    l.settle_bits = 2;
    l.expected_swing = 0.5;
    return l;
}

// Ticks at samples n = phase (mod 16), n > 0, fed in blocks of block samples.
amisim::ClockedEye run(int phase, std::size_t block) {
    const std::vector<double> wave = nrz();
    amisim::ClockedEye eye(layout());
    for (std::size_t start = 0; start < wave.size(); start += block) {
        const std::size_t count = std::min(block, wave.size() - start);
        std::vector<double> ticks;
        for (std::size_t n = start; n < start + count; ++n) {
            if (n > 0 && (static_cast<int>(n) - phase) % kSpb == 0) {
                ticks.push_back(static_cast<double>(n) * kDt);
            }
        }
        eye.add(wave.data() + start, count, ticks.data(), ticks.size());
    }
    return eye;
}

struct PhaseCase {
    const char *name;
    int phase;  // samples after the middle of the bit
};

class ClockedEyeAtPhase : public ::testing::TestWithParam<PhaseCase> {};

// The bathtub is a box: open (1 V) at the 16 - |P| offsets that stay inside
// the decided bit, closed (-1 V) at the others; the phase is P/16 UI at
// every tick; the block size changes nothing.
TEST_P(ClockedEyeAtPhase, BathtubIsTheBitSeenFromTheClock) {
    const int p = GetParam().phase;
    const amisim::ClockedEye eye = run(p, 8192);
    const amisim::EyeFigures figures = amisim::eye_figures(eye.density());
    ASSERT_TRUE(figures.measured);
    for (int slot = 0; slot < kSpb; ++slot) {
        const int offset = slot - kSpb / 2;
        const bool inside = offset + p >= -kSpb / 2 && offset + p < kSpb / 2;
        EXPECT_EQ(figures.bathtub[static_cast<std::size_t>(slot)], inside ? 1.0 : -1.0)
            << "offset " << offset;
    }
    EXPECT_DOUBLE_EQ(figures.width, kSpb - std::abs(p));
    const amisim::ClockFigures clock = eye.clock();
    EXPECT_DOUBLE_EQ(clock.phase_mean, static_cast<double>(p) / kSpb);
    EXPECT_DOUBLE_EQ(clock.phase_spread, 0.0);
    EXPECT_EQ(clock.phase_lowest, clock.phase_highest);
    EXPECT_EQ(clock.rejected, p > 0 ? 1u : 0u);  // the tick at sample p > 0 has no window yet

    for (std::size_t block : {1u, 7u, 100u}) {
        SCOPED_TRACE(block);
        const amisim::ClockedEye pieces = run(p, block);
        EXPECT_EQ(pieces.density().histogram(), eye.density().histogram());
        EXPECT_EQ(pieces.density().lowest_one(), eye.density().lowest_one());
        EXPECT_EQ(pieces.clock().in_eye, eye.clock().in_eye);
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, ClockedEyeAtPhase,
                         ::testing::Values(PhaseCase{"centre", 0}, PhaseCase{"late", 5},
                                           PhaseCase{"early", -3}, PhaseCase{"edge", -8}),
                         [](const auto &test) { return std::string(test.param.name); });

// Each instant's window holds two unit intervals: every sample between the
// first and the last window lies in two of them.
TEST(ClockedEye, WindowsOfTwoUnitIntervals) {
    const amisim::ClockedEye eye = run(0, 500);
    EXPECT_EQ(eye.density().samples(), eye.clock().in_eye * 2 * kSpb);
    EXPECT_EQ(eye.clock().in_eye, kBits - 2 - 1);  // settling, and the last has no full window
}

// Ticks a receiver gets wrong are counted and left out; the others count.
TEST(ClockedEye, RejectsTicksOutOfOrderOrOutOfTheBlock) {
    const std::vector<double> wave = nrz();
    amisim::ClockedEye eye(layout());
    const double bit = kSpb * kDt;
    std::vector<double> ticks{40 * bit, 41 * bit, 41 * bit, 30 * bit, std::nan(""),
                              -1.0,     HUGE_VAL, 42 * bit, 400 * bit};
    eye.add(wave.data(), 100 * kSpb, ticks.data(), ticks.size());
    const amisim::ClockFigures clock = eye.clock();
    EXPECT_EQ(clock.ticks, 3u);     // 40, 41 and 42 bits
    EXPECT_EQ(clock.rejected, 6u);  // a repeat, one going back, NaN, negative, infinite, too far
    EXPECT_EQ(clock.in_eye, 3u);
}

}  // namespace
