// The figures the stand-in reads off an impulse response, on responses
// small enough to work out by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/amisim/analysis/response_figures.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Pointwise;

struct ResponseCase {
    const char *name;
    std::vector<double> impulse;
    int spb;
    double dt;
    std::vector<double> pulse;
    std::size_t cursor;
    std::size_t eye_centre;
    double main, pre, post;
    double max_level, pda, snr, swing;
};

class ResponseFiguresCase : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ResponseFiguresCase, MatchTheWorkedFigures) {
    const ResponseCase &c = GetParam();
    const amisim::ResponseFigures f = amisim::measure_response(c.impulse, c.spb, c.dt);
    EXPECT_THAT(f.pulse, Pointwise(DoubleNear(1e-12), c.pulse));
    EXPECT_EQ(f.cursor, c.cursor);
    EXPECT_EQ(f.eye_centre, c.eye_centre);
    EXPECT_NEAR(f.main_cursor, c.main, 1e-12);
    EXPECT_NEAR(f.first_pre, c.pre, 1e-12);
    EXPECT_NEAR(f.first_post, c.post, 1e-12);
    EXPECT_NEAR(f.max_level, c.max_level, 1e-12);
    EXPECT_NEAR(f.pda, c.pda, 1e-12);
    EXPECT_NEAR(f.snr, c.snr, 1e-9 * c.snr);
    EXPECT_NEAR(f.swing, c.swing, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    AmisimResponse, ResponseFiguresCase,
    ::testing::ValuesIn(std::vector<ResponseCase>{
        // One sample per bit: the pulse is the impulse times T. Cursors one
        // bit apart from sample 1 are 2, 3 and (wrapping) 0: MAX 1.6, PDA
        // 0.4. No window for the signal: SNR 0. Swing: 0.5 * 1.6.
        {"OneSamplePerBit",
         {0.1, 1.0, 0.3, -0.2},
         1,
         1.0,
         {0.1, 1.0, 0.3, -0.2},
         1,
         1,
         1.0,
         0.1,
         0.3,
         1.6,
         0.4,
         0.0,
         0.8},
        // Two per bit: the impulse is padded to 8 samples, the pulse is
        // (0, 0.2, 1.0, 0.4, 0.1, 0, -0.5, 0). Cursors one bit from sample
        // 2: 4, 6, 0; MAX 1.6, PDA 0.4. The window of the cursor holds
        // samples 1 and 2; with the threshold at 0 the signal is 0.2^2 + 1^2
        // = 1.04, the rest 0.4^2 + 0.1^2 + 0.5^2 = 0.42. Phases: 0 + 1 +
        // 0.1 + 0.5 and 0.2 + 0.4, so the swing is 0.8.
        {"TwoSamplesPerBit",
         {0, 0.2, 0.8, -0.4, 0.5, -0.5},
         2,
         1.0,
         {0, 0.2, 1.0, 0.4, 0.1, 0, -0.5, 0},
         2,
         2,
         1.0,
         0.0,
         0.1,
         1.6,
         0.4,
         1.04 / 0.42,
         0.8},
        // Units: samples in 1/s times T = 1 ps; area 1 spread over two
        // samples, padded to 10. Window of the cursor (3): samples 2 and 3,
        // 0.75^2 + 1; the rest 0.25^2.
        {"ImpulseInPerSecond",
         {0, 0, 0.75e12, 0.25e12, 0, 0, 0, 0},
         2,
         1e-12,
         {0, 0, 0.75, 1.0, 0.25, 0, 0, 0, 0, 0},
         3,
         3,
         1.0,
         0.0,
         0.0,
         1.0,
         1.0,
         1.5625 / 0.0625,
         0.5},
        // A single tap: the pulse is one flat bit, whose first sample is the
        // cursor and whose middle centres the eye. SNR's window about the
        // cursor holds samples 0 and 1; 2 and 3 count as ISI.
        {"FlatTop", {1.0}, 4, 1.0, {1, 1, 1, 1}, 0, 2, 1.0, 0.0, 0.0, 1.0, 1.0, 1.0, 0.5},
    }),
    [](const auto &row) { return std::string(row.param.name); });

TEST(AmisimResponse, CursorRatiosInDecibels) {
    const amisim::ResponseFigures f =
        amisim::measure_response({0.0, 0.1, 1.0, 0.5, 0.0, 0.0}, 1, 1.0);
    EXPECT_NEAR(f.pre_db, -20.0, 1e-9);
    EXPECT_NEAR(f.post_db, 20.0 * std::log10(0.5), 1e-9);
    EXPECT_EQ(f.peak, 1.0);
    EXPECT_NEAR(f.area, 1.6, 1e-12);
    const amisim::ResponseFigures silent = amisim::measure_response({0.0, 0.0, 0.0}, 1, 1.0);
    EXPECT_EQ(silent.post_db, -HUGE_VAL);
    EXPECT_EQ(silent.max_level, 0.0);
}

}  // namespace
