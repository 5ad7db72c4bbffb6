// The transmitter's jitter on the stimulus's edges, the receiver's on its
// sampling instants, and the noise: each component moves what it should by
// as much as it should.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/gaussian_noise.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/sampling_jitter.h"

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

// The random part's spread, from the edges themselves; deviates of a tenth
// of a sample and of more than a unit interval (edges then overtake one
// another and are held back, the levels stay within the symbols').
TEST(JitteredSource, RandomJitterHasItsStandardDeviation) {
    const double sigma = 0.8;  // samples
    const std::vector<Edge> edges = edges_of({sigma * kDt, 0.0, 0.0, 0.0, 0.0}, 40000);
    double sum = 0.0;
    double squares = 0.0;
    for (const Edge &edge : edges) {
        sum += edge.displacement;
        squares += edge.displacement * edge.displacement;
    }
    const double n = static_cast<double>(edges.size());
    EXPECT_NEAR(sum / n, 0.0, 0.03);
    EXPECT_NEAR(std::sqrt(squares / n - (sum / n) * (sum / n)), sigma, 0.03 * sigma);

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

TEST(SamplingJitter, DisplacesEachInstantByItsJitter) {
    struct Row {
        const char *name;
        amisim::Jitter jitter;
        std::function<double(std::size_t, double)> expected;  // of index, ideal instant
    };
    const double frequency = 3e9;
    const Row rows[] = {
        {"sinusoidal, at the instant's time",
         {0.0, 0.0, 1.5 * kDt, frequency, 0.0},
         [&](std::size_t, double t) { return 1.5 * std::sin(2 * M_PI * frequency * t * kDt); }},
        {"duty cycle, even instants early",
         {0.0, 0.0, 0.0, 0.0, 0.5 * kDt},
         [](std::size_t i, double) { return i % 2 == 0 ? -0.25 : 0.25; }},
    };
    for (const Row &row : rows) {
        amisim::SamplingJitter jitter(row.jitter, kDt, 1);
        std::vector<double> instants(1000);
        for (std::size_t i = 0; i < instants.size(); ++i) {
            instants[i] = 8.0 + kSpb * static_cast<double>(i);
        }
        std::vector<double> moved = instants;
        jitter.displace(moved.data(), 400);  // in two pieces
        jitter.displace(moved.data() + 400, moved.size() - 400);
        for (std::size_t i = 0; i < instants.size(); ++i) {
            ASSERT_NEAR(moved[i] - instants[i], row.expected(i, instants[i]), 1e-9)
                << row.name << " at instant " << i;
        }
    }
}

TEST(SamplingJitter, RandomAndDeterministicSpread) {
    amisim::SamplingJitter jitter({0.5 * kDt, 3.0 * kDt, 0.0, 0.0, 0.0}, kDt, 2);
    std::vector<double> offsets(200000, 0.0);
    jitter.displace(offsets.data(), offsets.size());
    // A dual Dirac at +-1.5 samples under a Gaussian of 0.5: the variance is
    // 1.5^2 + 0.5^2, and the two halves sit at +-1.5.
    double squares = 0.0;
    double above = 0.0;
    int above_count = 0;
    for (double x : offsets) {
        squares += x * x;
        if (x > 0.0) {
            above += x;
            ++above_count;
        }
    }
    EXPECT_NEAR(squares / double(offsets.size()), 1.5 * 1.5 + 0.25, 0.02);
    EXPECT_NEAR(above / above_count, 1.5, 0.01);
}

TEST(GaussianNoise, AddsDeviatesOfItsSigma) {
    amisim::GaussianNoise noise(0.02, 9);
    std::vector<double> wave(300000, 0.5);
    noise.add(wave.data(), 1001);
    noise.add(wave.data() + 1001, wave.size() - 1001);
    double sum = 0.0;
    double squares = 0.0;
    for (double v : wave) {
        sum += v - 0.5;
        squares += (v - 0.5) * (v - 0.5);
    }
    EXPECT_NEAR(sum / double(wave.size()), 0.0, 1e-4);
    EXPECT_NEAR(std::sqrt(squares / double(wave.size())), 0.02, 0.0002);
}

}  // namespace
