// The seeded streams give the same numbers on both word sizes: each stream's
// first numbers hash to a value pinned here, which the i386 and the x86-64
// build both check. And the deviates are standard normal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tools/amisim/stimulus/gaussian_noise.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/random_stream.h"
#include "tools/amisim/stimulus/sampling_jitter.h"

namespace {

// FNV-1a over the bytes of each number.
std::uint64_t hash_of(const std::vector<double> &values) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (double v : values) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            hash = (hash ^ ((bits >> (8 * byte)) & 0xffu)) * 0x100000001b3u;
        }
    }
    return hash;
}

constexpr double kDt = 1e-12;
constexpr std::size_t kCount = 100000;

amisim::Jitter every_kind() {
    amisim::Jitter jitter;
    jitter.rj = 0.3e-12;
    jitter.dj = 1.1e-12;
    jitter.sj = 2.3e-12;
    jitter.sj_frequency = 1.7e8;
    jitter.dcd = 0.7e-12;
    return jitter;
}

std::vector<double> uniform_doubles() {
    amisim::RandomStream stream(2024);
    std::vector<double> values(kCount);
    for (double &v : values) {
        v = stream.uniform();
    }
    return values;
}

std::vector<double> gaussian_deviates() {
    amisim::RandomStream stream(7);
    std::vector<double> values(kCount);
    stream.gaussians(values.data(), values.size());
    return values;
}

std::vector<double> jittered_samples() {
    amisim::JitteredSourceSettings settings;
    settings.samples_per_bit = 8;
    settings.sample_interval = kDt;
    settings.jitter = every_kind();
    settings.seed = 99;
    amisim::JitteredSource source(settings);
    std::vector<double> values(kCount);
    source.fill(values.data(), values.size());
    return values;
}

std::vector<double> noisy_samples() {
    amisim::GaussianNoise noise(0.01, 5);
    std::vector<double> values(kCount, 0.25);
    noise.add(values.data(), values.size());
    return values;
}

std::vector<double> sampling_instants() {
    amisim::SamplingJitter jitter(every_kind(), kDt, 11);
    std::vector<double> values(kCount);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 4.0 + 8.0 * static_cast<double>(i);
    }
    jitter.displace(values.data(), values.size());
    return values;
}

TEST(SeededStreams, AreTheSameOnBothWordSizes) {
    struct Row {
        const char *name;
        std::vector<double> (*make)();
        std::uint64_t hash;
    };
    const Row rows[] = {
        {"uniform doubles", uniform_doubles, 11671414726922992757u},
        {"Gaussian deviates", gaussian_deviates, 404231161431603202u},
        {"stimulus with every kind of jitter", jittered_samples, 393641321175670459u},
        {"noise at the receiver", noisy_samples, 71687970726272782u},
        {"jittered sampling instants", sampling_instants, 5608829694729840648u},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(hash_of(row.make()), row.hash) << row.name;
    }
}

// Mean, variance and the shares beyond three and four standard deviations
// (the last from the ziggurat's tail) of four million deviates, against the
// standard normal's 0, 1, 2.6998e-3 and 6.3342e-5.
TEST(SeededStreams, GaussianDeviatesAreStandardNormal) {
    amisim::RandomStream stream(3);
    constexpr int kDeviates = 4000000;
    double sum = 0.0;
    double squares = 0.0;
    int beyond3 = 0;
    int beyond4 = 0;
    for (int i = 0; i < kDeviates; ++i) {
        const double x = stream.gaussian();
        sum += x;
        squares += x * x;
        beyond3 += std::fabs(x) > 3.0 ? 1 : 0;
        beyond4 += std::fabs(x) > 4.0 ? 1 : 0;
    }
    const double mean = sum / kDeviates;
    EXPECT_NEAR(mean, 0.0, 0.0025);
    EXPECT_NEAR(squares / kDeviates - mean * mean, 1.0, 0.003);
    EXPECT_NEAR(beyond3 / double(kDeviates), 2.6998e-3, 0.00013);
    EXPECT_NEAR(beyond4 / double(kDeviates), 6.3342e-5, 1.3e-5);
}

}  // namespace
