// The statistical eye's contours as the tables and results.json summarise
// them: the greatest height, its phase, and the run of open phases around
// it; and which contours the table prints.
#include "tools/amisim/report/ber_report.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(BerReport, ContourOpeningsTakeTheRunOfOpenPhasesAroundTheHighest) {
    const double closed = std::nan("");
    amisim::StatisticalEye eye;
    eye.samples_per_bit = 8;
    for (int p = 0; p < 8; ++p) {
        eye.phases.push_back(-0.5 + p / 8.0);
    }
    // Open at phases 2-5 (highest at 4) and, apart, at 7.
    amisim::EyeContour open{1e-6,
                            {closed, closed, -0.1, -0.2, -0.3, -0.1, closed, -0.05},
                            {closed, closed, 0.1, 0.2, 0.35, 0.1, closed, 0.05}};
    amisim::EyeContour shut{1e-12, std::vector<double>(8, closed), std::vector<double>(8, closed)};
    eye.contours = {{open, shut}};
    const std::vector<amisim::ContourOpening> openings = amisim::contour_openings(eye, 0);
    ASSERT_EQ(openings.size(), 2u);
    EXPECT_TRUE(openings[0].open);
    EXPECT_EQ(openings[0].ber, 1e-6);
    EXPECT_DOUBLE_EQ(openings[0].height, 0.65);
    EXPECT_EQ(openings[0].best_phase, 0.0);
    EXPECT_EQ(openings[0].width, 0.5);
    EXPECT_FALSE(openings[1].open);

    for (double rate : {1e-3, 1e-6, 1e-9, 1e-12, 1e-15}) {
        EXPECT_TRUE(amisim::contour_printed(rate)) << rate;
    }
    for (double rate : {1e-4, 1e-13, 2e-12}) {
        EXPECT_FALSE(amisim::contour_printed(rate)) << rate;
    }
}

}  // namespace
