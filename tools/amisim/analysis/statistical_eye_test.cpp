// The statistical eye against sums over every pattern done here by brute
// force, against the Gaussian tail of a pulse without interference, and
// the jitter's phase weights against their distributions' moments; the
// settings it refuses; and its rates the same on both word sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tools/amisim/analysis/phase_jitter.h"
#include "tools/amisim/analysis/statistical_eye.h"

namespace {

long double upper_tail(long double z) {
    return 0.5L * std::erfc(z / std::sqrt(2.0L));
}

// The z with upper_tail(z) = p, by bisection.
long double tail_inverse(long double p) {
    long double low = 0.0L;
    long double high = 40.0L;
    for (int i = 0; i < 200; ++i) {
        const long double mid = 0.5L * (low + high);
        (upper_tail(mid) > p ? low : high) = mid;
    }
    return low;
}

// Calls f(value, probability) for every sum of cursors times levels.
void for_each_pattern(const std::vector<double> &cursors, const std::vector<double> &levels,
                      const std::function<void(double, double)> &f) {
    std::size_t patterns = 1;
    for (std::size_t k = 0; k < cursors.size(); ++k) {
        patterns *= levels.size();
    }
    const double probability = 1.0 / static_cast<double>(patterns);
    for (std::size_t pattern = 0; pattern < patterns; ++pattern) {
        double sum = 0.0;
        std::size_t rest = pattern;
        for (double cursor : cursors) {
            sum += cursor * levels[rest % levels.size()];
            rest /= levels.size();
        }
        f(sum, probability);
    }
}

// Samples at a phase's cursors one bit apart (the one at `at` apart).
std::vector<double> cursors_of(const std::vector<double> &pulse, int at, int spb, bool with_at) {
    std::vector<double> cursors;
    for (int i = ((at % spb) + spb) % spb; i < static_cast<int>(pulse.size()); i += spb) {
        if (i != at || with_at) {
            cursors.push_back(pulse[static_cast<std::size_t>(i)]);
        }
    }
    return cursors;
}

// Every rate between 1e-13 and 0.3 of every eye, phase and row, against the
// sum over every pattern of the victim's cursors (and of the aggressor's at
// each of its phases) of the Gaussian tail of the distance to the threshold.
TEST(StatisticalEye, RatesAreTheSumOverEveryPattern) {
    struct Row {
        const char *name;
        std::vector<double> levels;
        std::vector<double> thresholds;
        std::vector<double> aggressor;
    };
    const std::vector<double> pulse = {0.02, 0.05, 0.1,   0.3,  0.6,  0.8,  0.7,   0.4,
                                       0.2,  -0.1, -0.15, 0.08, 0.05, 0.03, -0.02, 0.01};
    const Row rows[] = {
        {"two levels, an aggressor",
         {-0.5, 0.5},
         {0.0},
         {0.01, 0.03, -0.04, 0.02, 0.05, 0.0, -0.02, 0.01}},
        {"four levels", {-0.75, -0.25, 0.25, 0.75}, {-0.5, 0.0, 0.5}, {}},
    };
    const int spb = 4;
    const int centre = 5;
    const double sigma = 0.03;
    for (const Row &row : rows) {
        amisim::StatisticalEyeSettings settings;
        settings.pulse = pulse;
        settings.centre = centre;
        settings.samples_per_bit = spb;
        settings.levels = row.levels;
        settings.thresholds = row.thresholds;
        settings.noise_sigma = sigma;
        settings.voltage_bins = 4096;
        if (!row.aggressor.empty()) {
            settings.aggressors.push_back(row.aggressor);
        }
        amisim::StatisticalEye eye;
        std::string error;
        ASSERT_TRUE(amisim::compute_statistical_eye(settings, eye, error)) << error;
        ASSERT_EQ(eye.eyes, row.thresholds.size()) << row.name;
        const std::size_t levels = row.levels.size();
        int compared = 0;
        for (std::size_t p = 0; p < eye.phases.size(); ++p) {
            const int at = centre - spb / 2 + static_cast<int>(p);
            const double main = pulse[static_cast<std::size_t>(at)];
            // The interference's values and probabilities, crosstalk included.
            std::vector<std::pair<double, double>> interference;
            for_each_pattern(
                cursors_of(pulse, at, spb, false), row.levels, [&](double v, double pr) {
                    if (row.aggressor.empty()) {
                        interference.emplace_back(v, pr);
                        return;
                    }
                    for (int theta = 0; theta < spb; ++theta) {
                        for_each_pattern(cursors_of(row.aggressor, theta, spb, true), row.levels,
                                         [&](double x, double px) {
                                             interference.emplace_back(v + x, pr * px / spb);
                                         });
                    }
                });
            for (std::size_t e = 0; e < eye.eyes; ++e) {
                for (std::size_t r = 0; r < eye.rows; r += 41) {
                    const long double t = eye.threshold(r);
                    long double exact = 0.0L;
                    for (std::size_t s = 0; s < levels; ++s) {
                        for (const auto &[v, pr] : interference) {
                            const long double z = (t - (row.levels[s] * main + v)) / sigma;
                            exact += pr * (s > e ? upper_tail(-z) : upper_tail(z)) / levels;
                        }
                    }
                    if (exact < 1e-13L || exact > 0.3L) {
                        continue;
                    }
                    ++compared;
                    ASSERT_NEAR(eye.at(e, p, r) / static_cast<double>(exact), 1.0, 0.01)
                        << row.name << ": eye " << e << ", phase " << p << ", " << t << " V";
                }
            }
        }
        EXPECT_GT(compared, 100) << row.name;
    }
}

// A triangular pulse one unit interval wide has no interference: at phase
// o (samples from its peak) the eye is +-0.5 (1 - |o| / 32), and noise of
// sigma gives the rate Q(0.5 (1 - |o| / 32) / sigma) at threshold 0. The
// bathtubs are those tails (down to 1e-20: the noise's tail beyond 10
// sigma, below 1e-23, is left out), the width at 1e-12 where
// 0.5 (1 - |o| / 32) is Q^-1(1e-12) sigma, the height where the upper
// level's tail (the lower's far away beside it) reaches 1e-12.
TEST(StatisticalEye, BathtubsOfAPulseWithoutInterference) {
    const int spb = 64;
    const double sigma = 0.02;
    amisim::StatisticalEyeSettings settings;
    settings.samples_per_bit = spb;
    settings.centre = 32;
    settings.noise_sigma = sigma;
    for (int i = 0; i < spb; ++i) {
        settings.pulse.push_back(1.0 - std::fabs(i - 32.0) / 32.0);
    }
    amisim::StatisticalEye eye;
    std::string error;
    ASSERT_TRUE(amisim::compute_statistical_eye(settings, eye, error)) << error;
    const std::vector<double> &tub = eye.time_bathtub[0];
    for (std::size_t p = 0; p < eye.phases.size(); ++p) {
        const long double half = 0.5L * (1.0L - std::fabs(eye.phases[p] * spb) / 32.0L);
        const long double exact = upper_tail(half / sigma);
        if (exact > 1e-20L) {
            EXPECT_NEAR(tub[p] / static_cast<double>(exact), 1.0, 1e-9) << p;
        } else {
            EXPECT_LE(tub[p], static_cast<double>(exact) * (1.0 + 1e-9)) << p;
        }
        double mass = 0.0;
        for (std::size_t r = 0; r < eye.rows; ++r) {
            mass += eye.density[p * eye.rows + r];
        }
        EXPECT_NEAR(mass, 1.0, 1e-9) << p;
    }
    const amisim::EyeOpening &opening = eye.openings[0];
    EXPECT_EQ(opening.best_phase, static_cast<std::size_t>(spb / 2));
    const double width =
        2.0 * (1.0 - 2.0 * sigma * static_cast<double>(tail_inverse(1e-12))) * 32 / spb;
    EXPECT_NEAR(opening.width, width, 1.0 / spb);
    EXPECT_NEAR(opening.height, 1.0 - 2.0 * sigma * static_cast<double>(tail_inverse(2e-12)),
                eye.threshold_step);
    for (std::size_t r = 0; r < eye.rows; ++r) {
        const long double t = eye.threshold(r);
        const long double exact =
            0.5L * upper_tail((0.5L - t) / sigma) + 0.5L * upper_tail((0.5L + t) / sigma);
        if (exact > 1e-20L) {
            ASSERT_NEAR(eye.voltage_bathtub[0][r] / static_cast<double>(exact), 1.0, 1e-9) << t;
        }
    }
}

// The jitter's weights on whole samples: a dual Dirac's split between the
// samples around each Dirac exactly; the others' second moment that of the
// displacement x plus the interpolation's f (1 - f), f the fraction of x:
// E[x^2 + f (1 - f)], where a Gaussian spread over several samples gives
// f(1 - f) its uniform mean 1/6, and a sinusoid's is averaged here over its
// phase.
TEST(StatisticalEye, JitterWeightsPhasesByItsDistribution) {
    const double dt = 1e-12;
    const amisim::PhaseWeights dirac =
        amisim::sampling_phase_weights({0, 2.5e-12, 0, 0, 0}, {}, dt);
    EXPECT_EQ(dirac.reach, 2);
    const double expected[] = {0.125, 0.375, 0.0, 0.375, 0.125};
    for (int d = -2; d <= 2; ++d) {
        EXPECT_NEAR(dirac.at(d), expected[d + 2], 1e-15) << d;
    }
    struct Row {
        const char *name;
        amisim::Jitter tx;
        amisim::Jitter rx;
        double moment;  // samples^2
    };
    double sinusoid = 0.0;
    constexpr int kPhases = 1000000;
    for (int i = 0; i < kPhases; ++i) {
        const double x = 6.3 * std::sin(2 * M_PI * (i + 0.5) / kPhases);
        const double f = x - std::floor(x);
        sinusoid += (x * x + f * (1.0 - f)) / kPhases;
    }
    const Row rows[] = {
        {"Gaussian", {3e-12, 0, 0, 0, 0}, {4e-12, 0, 0, 0, 0}, 25.0 + 1.0 / 6.0},
        {"sinusoid", {0, 0, 6.3e-12, 1e6, 0}, {}, sinusoid},
        {"every kind",
         {3e-12, 2e-12, 6e-12, 1e6, 1e-12},
         {1e-12, 0, 2e-12, 0, 4e-12},
         9.0 + 1.0 + 18.0 + 0.25 + 1.0 + 2.0 + 4.0 + 1.0 / 6.0},
    };
    for (const Row &row : rows) {
        const amisim::PhaseWeights weights = amisim::sampling_phase_weights(row.tx, row.rx, dt);
        double sum = 0.0;
        double mean = 0.0;
        double squares = 0.0;
        for (int d = -weights.reach; d <= weights.reach; ++d) {
            sum += weights.at(d);
            mean += d * weights.at(d);
            squares += d * d * weights.at(d);
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << row.name;
        EXPECT_NEAR(mean, 0.0, 1e-9) << row.name;
        EXPECT_NEAR(squares, row.moment, 0.005) << row.name;
    }
}

TEST(StatisticalEye, RefusesSettingsItCannotUse) {
    struct Row {
        const char *name;
        std::function<void(amisim::StatisticalEyeSettings &)> change;
    };
    const Row rows[] = {
        {"no pulse", [](auto &s) { s.pulse.clear(); }},
        {"a pulse of zeros", [](auto &s) { s.pulse.assign(8, 0.0); }},
        {"a centre outside", [](auto &s) { s.centre = 8; }},
        {"levels descending",
         [](auto &s) {
             s.levels = {0.5, -0.5};
         }},
        {"one level",
         [](auto &s) {
             s.levels = {0.5};
             s.thresholds = {};
         }},
        {"a threshold too many",
         [](auto &s) {
             s.thresholds = {0.0, 0.1};
         }},
        {"negative noise", [](auto &s) { s.noise_sigma = -1e-3; }},
        {"jitter not finite", [](auto &s) { s.rx_jitter.rj = NAN; }},
        {"a rate of 1", [](auto &s) { s.contour_bers.push_back(1.0); }},
        {"no voltage bins", [](auto &s) { s.voltage_bins = 0; }},
    };
    for (const Row &row : rows) {
        amisim::StatisticalEyeSettings settings;
        settings.samples_per_bit = 4;
        settings.pulse = {0.1, 0.5, 0.9, 0.6, 0.3, 0.1, 0.05, 0.0};
        settings.centre = 2;
        row.change(settings);
        amisim::StatisticalEye eye;
        std::string error;
        EXPECT_FALSE(amisim::compute_statistical_eye(settings, eye, error)) << row.name;
        EXPECT_FALSE(error.empty()) << row.name;
    }
}

// Noise, jitter of every kind and an aggressor: the rates hash to a value
// pinned here, which the i386 and the x86-64 build both check.
TEST(StatisticalEye, IsTheSameOnBothWordSizes) {
    amisim::StatisticalEyeSettings settings;
    settings.samples_per_bit = 8;
    settings.pulse = {0.0, 0.01, 0.05, 0.12, 0.25, 0.4,  0.55, 0.65, 0.7,  0.68, 0.6, 0.5,
                      0.4, 0.3,  0.22, 0.16, 0.11, 0.08, 0.05, 0.03, 0.02, 0.01, 0.0, -0.01};
    settings.centre = 8;
    settings.aggressors = {{0.01, 0.02, 0.04, 0.03, -0.01, -0.02, 0.0, 0.01}};
    settings.noise_sigma = 0.01;
    settings.tx_jitter = {1e-12, 2e-12, 1e-12, 1e7, 0.5e-12};
    settings.rx_jitter = {0.5e-12, 0.0, 0.0, 0.0, 1e-12};
    settings.voltage_bins = 256;
    amisim::StatisticalEye eye;
    std::string error;
    ASSERT_TRUE(amisim::compute_statistical_eye(settings, eye, error)) << error;
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (double v : eye.ber) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            hash = (hash ^ ((bits >> (8 * byte)) & 0xffu)) * 0x100000001b3u;
        }
    }
    EXPECT_EQ(hash, 10731510115380353314u);
}

}  // namespace
