// The transmitter's jitter on the stimulus's edges: none leaves the NRZ
// stimulus as it was, each deterministic component moves each edge by as
// much as it should to a fraction of a sample, and edges never overtake.
// (The random parts, the receiver's jitter and the noise are checked
// against their effects: the dual-Dirac fit and the counted error rates in
// the analysis's agreement tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/jittered_source.h"

namespace {

constexpr double kDt = 1e-12;
constexpr int kSpb = 16;

// Without jitter the source is NrzSource, sample for sample, whatever the
// pieces it is read in.
TEST(JitteredSource, WithoutJitterIsTheNrzStimulus) {
    for (int spb : {1, 3, 32}) {
        amisim::NrzSource nrz(7, spb);
        amisim::JitteredSourceSettings settings;
        settings.samples_per_bit = spb;
        amisim::JitteredSource jittered(settings);
        std::vector<double> expected(5000);
        std::vector<double> got(expected.size());
        nrz.fill(expected.data(), expected.size());
        for (std::size_t done = 0; done < got.size();) {
            const std::size_t piece = std::min<std::size_t>(got.size() - done, 37);
            jittered.fill(got.data() + done, piece);
            done += piece;
        }
        EXPECT_EQ(got, expected) << spb << " samples per bit";
    }
}

// Each level change of the stimulus, where it lies from its ideal place
// k spb, in samples: from the area it adds over the bit around it.
struct Edge {
    long index;
    bool rising;
    double displacement;
};

std::vector<Edge> edges_of(const amisim::Jitter &jitter, std::size_t bits) {
    amisim::JitteredSourceSettings settings;
    settings.samples_per_bit = kSpb;
    settings.sample_interval = kDt;
    settings.jitter = jitter;
    amisim::JitteredSource source(settings);
    std::vector<double> wave(bits * kSpb);
    source.fill(wave.data(), wave.size());
    std::vector<Edge> edges;
    for (std::size_t k = 1; k + 1 < bits; ++k) {
        const double before = wave[k * kSpb - kSpb / 2];
        const double after = wave[k * kSpb + kSpb / 2];
        if (before == after) {
            continue;
        }
        double share_after = 0.0;  // samples' worth of the new level in the window
        for (std::size_t n = k * kSpb - kSpb / 2; n < k * kSpb + kSpb / 2; ++n) {
            share_after += (wave[n] - before) / (after - before);
        }
        edges.push_back({static_cast<long>(k), after > before, kSpb / 2 - share_after});
    }
    return edges;
}

TEST(JitteredSource, DisplacesEachEdgeByItsJitter) {
    struct Row {
        const char *name;
        amisim::Jitter jitter;
        std::function<bool(const Edge &)> expected;
    };
    const double fraction = 0.37;     // a part of a sample
    const double sj_per_bit = 0.013;  // cycles of the sinusoid per bit
    const Row rows[] = {
        {"deterministic, +-dj/2",
         {0.0, 2 * fraction * kDt, 0.0, 0.0, 0.0},
         [&](const Edge &e) { return std::fabs(std::fabs(e.displacement) - fraction) < 1e-12; }},
        {"sinusoidal, at the ideal edge's time",
         {0.0, 0.0, 2.5 * kDt, sj_per_bit / (kSpb * kDt), 0.0},
         [&](const Edge &e) {
             const double expected = 2.5 * std::sin(2 * M_PI * sj_per_bit * double(e.index));
             return std::fabs(e.displacement - expected) < 1e-9;
         }},
        {"duty cycle, rising early and falling late",
         {0.0, 0.0, 0.0, 0.0, 2 * fraction * kDt},
         [&](const Edge &e) {
             return std::fabs(e.displacement - (e.rising ? -fraction : fraction)) < 1e-12;
         }},
    };
    for (const Row &row : rows) {
        const std::vector<Edge> edges = edges_of(row.jitter, 2000);
        ASSERT_GT(edges.size(), 500u) << row.name;
        int wrong = 0;
        for (const Edge &edge : edges) {
            wrong += row.expected(edge) ? 0 : 1;
        }
        EXPECT_EQ(wrong, 0) << row.name;
    }
}

// Random jitter of more than a unit interval: edges overtake one another
// and are held back, and every sample stays within the symbols' levels.
TEST(JitteredSource, EdgesThatWouldOvertakeAreHeldBack) {
    amisim::JitteredSourceSettings wild;
    wild.samples_per_bit = 4;
    wild.sample_interval = kDt;
    wild.jitter.rj = 6 * kDt;
    amisim::JitteredSource source(wild);
    std::vector<double> wave(40000);
    source.fill(wave.data(), wave.size());
    for (double v : wave) {
        ASSERT_TRUE(v >= -0.5 - 1e-12 && v <= 0.5 + 1e-12) << v;  // to rounding
    }
}

}  // namespace
