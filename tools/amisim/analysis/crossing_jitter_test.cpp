// The crossings' time-interval error against the bit grid and against a
// receiver's clock, and the dual-Dirac fit and total jitter of a histogram
// drawn from the model itself.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/analysis/crossing_jitter.h"
#include "tools/amisim/analysis/dual_dirac.h"

namespace {

constexpr int kSpb = 10;

// A waveform crossing 0 at known places: +-1 levels joined by straight
// ramps 4 samples long, the k-th crossing at k spb + 5 + offsets[k mod 3].
std::vector<double> crossing_wave(std::size_t bits, const double *offsets) {
    std::vector<double> wave(bits * kSpb);
    for (std::size_t n = 0; n < wave.size(); ++n) {
        const std::size_t k = n / kSpb;
        const double crossing = static_cast<double>(k * kSpb) + 5.0 + offsets[k % 3];
        const double sign = k % 2 == 0 ? 1.0 : -1.0;  // rising in even bits
        const double ramp = (static_cast<double>(n) - crossing) / 2.0;
        wave[n] = sign * std::max(-1.0, std::min(1.0, ramp));
    }
    return wave;
}

TEST(CrossingJitter, TimeIntervalErrorAgainstEachClock) {
    const double offsets[] = {0.0, 0.3, -0.45};  // samples
    const std::vector<double> wave = crossing_wave(300, offsets);
    struct Row {
        const char *name;
        bool receiver_clock;
        double clock_shift;  // of the receiver's edges from the grid's, samples
    };
    const Row rows[] = {{"bit grid", false, 0.0}, {"receiver's clock", true, -0.2}};
    for (const Row &row : rows) {
        amisim::CrossingJitterSettings settings;
        settings.samples_per_bit = kSpb;
        settings.receiver_clock = row.receiver_clock;
        settings.grid_origin = 5.0;
        settings.bins = 200;  // 0.005 UI each
        amisim::CrossingJitter meter(settings);
        // Blocks of 7 samples; the receiver's edges for a block come with
        // it and reach one bit ahead.
        std::vector<double> edges;
        for (std::size_t done = 0; done < wave.size(); done += 7) {
            meter.add(wave.data() + done, std::min<std::size_t>(7, wave.size() - done));
            edges.clear();
            for (std::size_t k = done / kSpb; k * kSpb < done + 7 + kSpb; ++k) {
                edges.push_back(static_cast<double>(k * kSpb) + 5.0 + row.clock_shift);
            }
            meter.add_clock(edges.data(), edges.size());
        }
        const amisim::TieHistogram histogram = meter.histogram();
        ASSERT_GE(histogram.crossings, 297u) << row.name;
        EXPECT_EQ(histogram.outside, 0u) << row.name;
        for (std::size_t i = 0; i < histogram.counts.size(); ++i) {
            const double centre = histogram.low + (static_cast<double>(i) + 0.5) * histogram.width;
            bool expected = false;
            for (double offset : offsets) {
                expected |= std::fabs(centre - (offset - row.clock_shift) / kSpb) < histogram.width;
            }
            if (!expected) {
                EXPECT_EQ(histogram.counts[i], 0u) << row.name << ", bin " << i;
            }
        }
        const double mean = (offsets[0] + offsets[1] + offsets[2]) / 3.0 - row.clock_shift;
        EXPECT_NEAR(histogram.mean, mean / kSpb, 0.002) << row.name;
        EXPECT_NEAR(static_cast<double>(histogram.crossings) / static_cast<double>(histogram.bits),
                    1.0, 0.01)
            << row.name;
    }
}

long double upper_tail(long double z) {
    return 0.5L * std::erfc(z / std::sqrt(2.0L));
}

// The counts that two Gaussians of sigma at mu_left and mu_right, half the
// crossings each, put in each bin.
amisim::TieHistogram dual_dirac_histogram(double mu_left, double mu_right, double sigma) {
    amisim::TieHistogram h;
    h.width = 1.0 / 1000;
    const double total = 1e8;
    for (int i = 0; i < 1000; ++i) {
        const long double a = h.low + i * h.width;
        const long double b = a + h.width;
        long double share = 0.0L;
        for (double mu : {mu_left, mu_right}) {
            share += 0.5L * (upper_tail((a - mu) / sigma) - upper_tail((b - mu) / sigma));
        }
        h.counts.push_back(static_cast<std::uint64_t>(std::llround(total * share)));
        h.crossings += h.counts.back();
    }
    h.bits = 2 * h.crossings;  // a transition density of 1/2
    return h;
}

// From the model's own histogram the fit finds its Diracs, their weight and
// sigma; the total jitter at 1e-12 is then the Diracs' distance and on each
// side sigma times Q^-1(1e-12 / (1/2 * 1/2)).
TEST(DualDiracFit, FindsTheModelAndItsTotalJitter) {
    const amisim::DualDiracFit fit =
        amisim::fit_dual_dirac(dual_dirac_histogram(-0.05, 0.04, 0.01));
    ASSERT_TRUE(fit.fitted);
    EXPECT_NEAR(fit.dj, 0.09, 0.002);
    EXPECT_NEAR(fit.rj, 0.01, 0.0003);
    EXPECT_NEAR(fit.rho_left, 0.5, 0.03);
    EXPECT_NEAR(fit.rho_right, 0.5, 0.03);
    EXPECT_NEAR(fit.transition_density, 0.5, 1e-9);
    long double low = 0.0L;
    long double high = 20.0L;
    for (int i = 0; i < 200; ++i) {
        const long double mid = 0.5L * (low + high);
        (upper_tail(mid) > 4e-12L ? low : high) = mid;
    }
    EXPECT_NEAR(amisim::total_jitter(fit, 1e-12), 0.09 + 2.0 * 0.01 * static_cast<double>(low),
                0.003);

    // Narrower than a bin: two Diracs at the bins' centres, no random jitter.
    amisim::TieHistogram narrow;
    narrow.width = 0.01;
    narrow.counts.assign(100, 0);
    narrow.counts[40] = narrow.counts[56] = 5000;
    narrow.crossings = 10000;
    narrow.bits = 20000;
    const amisim::DualDiracFit diracs = amisim::fit_dual_dirac(narrow);
    EXPECT_NEAR(diracs.dj, 0.16, 1e-12);
    EXPECT_EQ(diracs.rj, 0.0);
    EXPECT_NEAR(amisim::total_jitter(diracs, 1e-12), 0.16, 1e-12);
}

}  // namespace
