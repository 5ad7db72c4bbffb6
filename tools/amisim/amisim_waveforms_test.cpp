// The stand-in's waveform arithmetic against direct sums.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/waveforms.h"

namespace {

TEST(AmisimWaveforms, PulseResponseIsTheImpulseSummedOverOneBit) {
    const std::vector<double> h{4.0, -2.0, 1.0, 0.5, 0.0, 3.0};
    const double dt = 0.5;
    const int spb = 3;
    const std::vector<double> pulse = amisim::pulse_response(h, spb, dt);
    ASSERT_EQ(pulse.size(), h.size() + spb - 1);
    for (std::size_t n = 0; n < pulse.size(); ++n) {
        double direct = 0.0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(spb); ++i) {
            if (n >= i && n - i < h.size()) {
                direct += h[n - i];
            }
        }
        EXPECT_NEAR(pulse[n], direct * dt, 1e-12) << n;
    }
}

TEST(AmisimWaveforms, BitsThroughChannelIsTheConvolutionOfTheLevels) {
    const std::vector<double> pulse{0.1, 0.6, 0.3, -0.05, 0.02};
    const std::vector<std::uint8_t> bits{1, 0, 0, 1, 1, 0, 1};
    const int spb = 2;
    const std::vector<double> wave = amisim::bits_through_channel(bits, pulse, spb);
    ASSERT_EQ(wave.size(), bits.size() * spb);
    for (std::size_t n = 0; n < wave.size(); ++n) {
        double direct = 0.0;
        for (std::size_t m = 0; m < bits.size(); ++m) {
            const std::size_t start = m * spb;
            if (n >= start && n - start < pulse.size()) {
                direct += (bits[m] ? 0.5 : -0.5) * pulse[n - start];
            }
        }
        EXPECT_NEAR(wave[n], direct, 1e-15) << n;
    }
}

TEST(AmisimWaveforms, FiguresOfAResponse) {
    // An impulse of area 1 spread over two samples: the pulse response peaks
    // at 1 and the first post-cursor is where the bit has passed.
    const double dt = 1e-12;
    std::vector<double> h(40, 0.0);
    h[5] = 0.75 / dt;
    h[6] = 0.25 / dt;
    const auto figures = amisim::measure_response(h, 4, dt);
    EXPECT_DOUBLE_EQ(figures.peak, 0.75 / dt);
    EXPECT_NEAR(figures.area, 1.0, 1e-12);
    EXPECT_NEAR(figures.main_cursor, 1.0, 1e-12);
    EXPECT_EQ(figures.cursor, 6u);
    EXPECT_NEAR(figures.first_post, 0.0, 1e-12);

    h[10] = 0.1 / dt;  // a reflection one bit after the main cursor
    const auto reflected = amisim::measure_response(h, 4, dt);
    EXPECT_NEAR(reflected.first_post, 0.1, 1e-12);
    EXPECT_NEAR(reflected.first_post_db, -20.0, 1e-9);
}

}  // namespace

namespace {

TEST(AmisimWaveforms, EyeHeightIsTheGapBetweenTheWorstOneAndTheWorstZero) {
    const std::vector<std::uint8_t> bits{1, 0, 1, 1, 0, 0, 1, 0};
    // Two samples per bit; the decision sample is the second of each bit.
    std::vector<double> wave(bits.size() * 2, 9.0);  // off-phase samples never count
    const double at_phase[] = {0.0 /* settling */, -0.4, 0.3, 0.45, -0.35, -0.5, 0.4, -0.2};
    for (std::size_t m = 0; m < bits.size(); ++m) {
        wave[2 * m + 1] = at_phase[m];
    }
    EXPECT_DOUBLE_EQ(amisim::eye_height(wave, bits, 2, 1, 1), 0.3 - -0.2);
    // Counting the settling bit closes the eye down to its level.
    EXPECT_DOUBLE_EQ(amisim::eye_height(wave, bits, 2, 1, 0), 0.0 - -0.2);
    // No zeros after the skipped bits: no eye to measure.
    EXPECT_TRUE(std::isnan(amisim::eye_height(wave, bits, 2, 1, 7)));
}

}  // namespace
