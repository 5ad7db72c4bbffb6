// The statistical eye's PAM4 rates against the Gaussian tail where there is
// no interference, its own centres, and the level mismatch of its means.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/amisim/analysis/level_mismatch.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/analysis/symbol_error_rates.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

constexpr int kSpb = 4;

amisim::StatisticalEye pam4_eye(const std::vector<double> &pulse, std::size_t centre,
                                const std::vector<double> &levels, double noise) {
    amisim::StatisticalEyeSettings settings;
    settings.pulse = pulse;
    settings.centre = centre;
    settings.samples_per_bit = kSpb;
    settings.levels = levels;
    settings.thresholds = amisim::midpoint_thresholds(levels);
    settings.noise_sigma = noise;
    settings.target_ber = 1e-6;
    amisim::StatisticalEye eye;
    std::string error;
    EXPECT_TRUE(amisim::compute_statistical_eye(settings, eye, error)) << error;
    return eye;
}

// A pulse 1 V at its centre, 0.5 V a quarter of a unit interval to either
// side and 0 half a unit interval before, one unit interval long: no
// interference at any phase. Each eye's rate at
// its middle is Q(d / sigma) over 2 (of the four symbols, the two beside
// it each cross with Q, d a half spacing, 1/6 V), so the symbol error rate
// is 3/2 Q; with Gray mapping every error turns one bit of two, with
// natural mapping an error across the centre eye (01 and 10) turns both.
TEST(SymbolErrorRates, WithoutInterferenceTheGaussianTail) {
    const double sigma = 0.04;
    const amisim::StatisticalEye eye =
        pam4_eye({0.0, 0.5, 1.0, 0.5}, kSpb / 2, amisim::pam_levels(4), sigma);
    const double q = 0.5 * std::erfc(1.0 / 6.0 / sigma / std::sqrt(2.0));
    struct Row {
        const char *name;
        amisim::SymbolMapping mapping;
        double ber;
    };
    for (const Row &row : {Row{"Gray", amisim::SymbolMapping::kGray, 0.75 * q},
                           Row{"natural", amisim::SymbolMapping::kNatural, q}}) {
        const amisim::SymbolErrorRates rates = amisim::statistical_error_rates(
            eye, amisim::midpoint_thresholds(amisim::pam_levels(4)), {}, row.mapping);
        ASSERT_EQ(rates.by_eye.size(), 3u) << row.name;
        for (double rate : rates.by_eye) {
            EXPECT_NEAR(rate / (q / 2), 1.0, 0.01) << row.name;
        }
        EXPECT_NEAR(rates.ser / (1.5 * q), 1.0, 0.01) << row.name;
        EXPECT_NEAR(rates.ber / row.ber, 1.0, 0.01) << row.name;
    }
    // Each eye at its own phase: the upper eye half a unit interval early,
    // where every symbol sits at 0 V, below its threshold of 1/3 V: the
    // highest symbol, a quarter of them, is decided wrongly.
    const amisim::SymbolErrorRates early =
        amisim::statistical_error_rates(eye, amisim::midpoint_thresholds(amisim::pam_levels(4)),
                                        {0, 0, -kSpb / 2}, amisim::SymbolMapping::kGray);
    EXPECT_NEAR(early.by_eye[0] / (q / 2), 1.0, 0.01);
    EXPECT_NEAR(early.by_eye[2], 0.25, 1e-12);
}

// Through a lossy channel, levels not equally spaced: each eye's own
// centre is the middle of its two levels' means; the level mismatch of
// the means at the centre is the levels' own (0.8, as worked out in
// pam_eyes_test.cpp), the channel scaling and shifting all alike.
TEST(SymbolErrorRates, OwnCentresAndLevelMismatchOfTheMeans) {
    const double dt = 100e-12;
    const std::vector<double> impulse =
        amisim::default_channel({}, dt, 16 * static_cast<std::size_t>(kSpb)).columns[0];
    const amisim::ResponseFigures response = amisim::measure_response(impulse, kSpb, dt);
    const std::vector<double> levels = {-0.5, -0.2, 0.15, 0.5};
    const amisim::StatisticalEye eye = pam4_eye(response.pulse, response.cursor, levels, 0.01);
    const std::vector<double> &means = eye.means[eye.phases.size() / 2];
    const std::vector<double> centres = amisim::statistical_centre_thresholds(eye);
    ASSERT_EQ(centres.size(), 3u);
    for (std::size_t e = 0; e < 3; ++e) {
        ASSERT_TRUE(eye.openings[e].open) << e;
        EXPECT_NEAR(centres[e], 0.5 * (means[e] + means[e + 1]), 2 * eye.threshold_step) << e;
    }
    EXPECT_NEAR(amisim::level_mismatch(means).rlm, 0.8, 1e-12);
}

}  // namespace
