// What the receiver's input gets besides the victim, worked out in its own
// thread: the same samples as the aggressors' summed channels and the noise
// computed in line, however the reads are cut against its blocks.
#include "tools/amisim/run/disturbance.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/amisim/stimulus/jittered_source.h"

namespace {

std::unique_ptr<amisim::SummedChannelStream> aggressors(
    std::vector<std::unique_ptr<amisim::JitteredSource>> &sources) {
    std::vector<std::vector<double>> taps;
    std::vector<amisim::SampleSource *> pointers;
    for (std::uint64_t k = 0; k < 2; ++k) {
        amisim::JitteredSourceSettings settings;
        settings.samples_per_bit = 4;
        settings.pattern = {0, 40 + k, 0};
        settings.jitter.rj = 0.3e-12;
        sources.push_back(std::make_unique<amisim::JitteredSource>(settings));
        pointers.push_back(sources.back().get());
        taps.push_back({0.2, 0.5 - 0.1 * static_cast<double>(k), 0.1, -0.05});
    }
    return std::make_unique<amisim::SummedChannelStream>(taps, pointers,
                                                         amisim::Convolution::kDirect);
}

TEST(Disturbance, GivesTheSamplesOfTheAggressorsAndTheNoiseInAnyCut) {
    constexpr std::size_t kTotal = 50000;
    std::vector<std::unique_ptr<amisim::JitteredSource>> in_line_sources;
    std::vector<double> expected(kTotal);
    aggressors(in_line_sources)->read(expected.data(), kTotal);
    amisim::GaussianNoise(0.01, 9).add(expected.data(), kTotal);

    std::vector<std::unique_ptr<amisim::JitteredSource>> sources;
    amisim::Disturbance disturbance(aggressors(sources), 0.01, 9, 1000, kTotal, nullptr);
    std::vector<double> got(kTotal, 0.0);
    std::size_t done = 0;
    for (std::size_t r = 0; done < kTotal; ++r) {
        const std::size_t count = std::min<std::size_t>(r % 3 == 0 ? 1 : 1777, kTotal - done);
        disturbance.add(got.data() + done, count);
        done += count;
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(disturbance.failure(), "");
}

}  // namespace
