// The stimulus streamed through the channel against a plain full
// convolution of the same stimulus held in memory: the direct sums bit for
// bit, the FFT overlap-add within rounding, for any cut of the reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/summed_channels.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Pointwise;

// Samples from a vector, then zeros.
class VectorSource final : public amisim::SampleSource {
  public:
    explicit VectorSource(std::vector<double> samples) : samples_(std::move(samples)) {}
    void fill(double *out, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i, ++next_) {
            out[i] = next_ < samples_.size() ? samples_[next_] : 0.0;
        }
    }

  private:
    std::vector<double> samples_;
    std::size_t next_ = 0;
};

// The textbook sum, k ascending, over the stimulus seen so far.
std::vector<double> full_convolution(const std::vector<double> &x,
                                     const std::vector<double> &taps) {
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double sum = 0.0;
        for (std::size_t k = 0; k < taps.size() && k <= n; ++k) {
            sum += taps[k] * x[n - k];
        }
        y[n] = sum;
    }
    return y;
}

// A decaying, ringing response: uneven values that expose any misplaced
// tap, with a sum of magnitudes of about 1.
std::vector<double> channel_taps(std::size_t count) {
    std::vector<double> taps(count);
    for (std::size_t k = 0; k < count; ++k) {
        const double t = static_cast<double>(k);
        taps[k] = 0.3 * std::exp(-t / (0.2 * static_cast<double>(count) + 1.0)) *
                  std::cos(0.7 * t) * (1.0 + 0.01 * static_cast<double>(k % 7));
    }
    return taps;
}

std::vector<double> nrz_stimulus(std::size_t samples, int samples_per_bit) {
    amisim::NrzSource source(7, samples_per_bit);
    std::vector<double> x(samples);
    source.fill(x.data(), x.size());
    return x;
}

struct StreamCase {
    const char *name;
    amisim::Convolution method;
    std::size_t taps;
    std::size_t fft_size;            // 0: the convolver's choice
    std::vector<std::size_t> reads;  // sizes of the reads, repeated to the end
};

class ChannelStreamCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ChannelStreamCase, EqualsTheFullConvolution) {
    const StreamCase &c = GetParam();
    if (c.method == amisim::Convolution::kFft && !amisim::fft_available()) {
        GTEST_SKIP() << "this build has no FFT";
    }
    const std::vector<double> taps = channel_taps(c.taps);
    const std::vector<double> x = nrz_stimulus(20000, 8);
    VectorSource source(x);
    amisim::ChannelStream stream(taps, source, c.method, c.fft_size);
    ASSERT_EQ(stream.method(), c.method);
    std::vector<double> y(x.size());
    std::size_t done = 0;
    for (std::size_t r = 0; done < y.size(); ++r) {
        const std::size_t count = std::min(c.reads[r % c.reads.size()], y.size() - done);
        stream.read(y.data() + done, count);
        done += count;
    }
    const std::vector<double> expected = full_convolution(x, taps);
    if (c.method == amisim::Convolution::kDirect) {
        // The same sums in the same order: the same bits.
        EXPECT_EQ(std::memcmp(y.data(), expected.data(), y.size() * sizeof(double)), 0);
        EXPECT_THAT(y, Pointwise(DoubleNear(0.0), expected));
    } else {
        // Rounding of the transforms: far below any figure the stand-in reports.
        EXPECT_THAT(y, Pointwise(DoubleNear(1e-13), expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    AmisimChannel, ChannelStreamCase,
    ::testing::ValuesIn(std::vector<StreamCase>{
        {"DirectOneTap", amisim::Convolution::kDirect, 1, 0, {4096}},
        {"DirectShortOddReads", amisim::Convolution::kDirect, 37, 0, {1, 3, 4095, 4097, 7}},
        {"DirectLongerThanABlock", amisim::Convolution::kDirect, 5000, 0, {999, 4096, 1}},
        {"FftDefaultSize", amisim::Convolution::kFft, 4096, 0, {8192}},
        {"FftSmallestSizeOddReads", amisim::Convolution::kFft, 300, 1024, {1, 723, 1024, 5}},
        {"FftOneTap", amisim::Convolution::kFft, 1, 0, {17}},
        {"FftReadsAcrossManyBlocks", amisim::Convolution::kFft, 100, 256, {10000}},
    }),
    [](const auto &row) { return std::string(row.param.name); });

// Channels of different lengths, each carrying its own stimulus, summed:
// the sum of each one's full convolution, bit for bit with the direct sums
// (added in the channels' order), within rounding through the FFT, for
// reads cut across the blocks.
TEST(AmisimChannel, SummedChannelsAreTheSumOfEachConvolution) {
    const std::vector<std::vector<double>> taps = {channel_taps(300), channel_taps(41),
                                                   channel_taps(170)};
    std::vector<std::vector<double>> stimuli;
    for (int spb : {8, 3, 5}) {
        stimuli.push_back(nrz_stimulus(20000, spb));
    }
    std::vector<double> expected(20000, 0.0);
    for (std::size_t k = 0; k < taps.size(); ++k) {
        const std::vector<double> part = full_convolution(stimuli[k], taps[k]);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            expected[i] += part[i];
        }
    }
    for (amisim::Convolution method : {amisim::Convolution::kDirect, amisim::Convolution::kFft}) {
        if (method == amisim::Convolution::kFft && !amisim::fft_available()) {
            continue;
        }
        std::vector<VectorSource> sources(stimuli.begin(), stimuli.end());
        std::vector<amisim::SampleSource *> pointers;
        for (VectorSource &source : sources) {
            pointers.push_back(&source);
        }
        amisim::SummedChannelStream stream(taps, pointers, method);
        ASSERT_EQ(stream.method(), method);
        std::vector<double> y(expected.size());
        for (std::size_t done = 0, r = 0; done < y.size(); ++r) {
            const std::size_t count =
                std::min<std::size_t>(r % 2 == 0 ? 3001 : 17, y.size() - done);
            stream.read(y.data() + done, count);
            done += count;
        }
        if (method == amisim::Convolution::kDirect) {
            EXPECT_EQ(y, expected);
        } else {
            EXPECT_THAT(y, Pointwise(DoubleNear(1e-13), expected));
        }
    }
}

TEST(AmisimChannel, FftRunsRepeatBitForBit) {
    if (!amisim::fft_available()) {
        GTEST_SKIP() << "this build has no FFT";
    }
    const std::vector<double> taps = channel_taps(700);
    std::vector<std::vector<double>> runs;
    for (int run = 0; run < 2; ++run) {
        amisim::NrzSource source(9, 16);
        amisim::ChannelStream stream(taps, source, amisim::Convolution::kFft);
        runs.emplace_back(30000);
        stream.read(runs.back().data(), runs.back().size());
    }
    EXPECT_EQ(std::memcmp(runs[0].data(), runs[1].data(), runs[0].size() * sizeof(double)), 0);
}

TEST(AmisimChannel, AutoTakesTheFftForLongChannelsWhereThereIsOne) {
    using amisim::Convolution;
    const Convolution fft_or_direct =
        amisim::fft_available() ? Convolution::kFft : Convolution::kDirect;
    struct Case {
        Convolution wanted;
        std::size_t taps;
        Convolution taken;
    };
    for (const Case &c : {Case{Convolution::kAuto, amisim::kDirectTapLimit, Convolution::kDirect},
                          Case{Convolution::kAuto, amisim::kDirectTapLimit + 1, fft_or_direct},
                          Case{Convolution::kDirect, 100000, Convolution::kDirect},
                          Case{Convolution::kFft, 3, fft_or_direct},
                          Case{Convolution::kFft, 0, Convolution::kDirect}}) {
        SCOPED_TRACE(c.taps);
        EXPECT_EQ(amisim::resolve_convolution(c.wanted, c.taps), c.taken);
    }
}

TEST(AmisimChannel, FftSizeIsAPowerOfTwoOfAtLeastTwiceTheTaps) {
    for (std::size_t taps : {1u, 7u, 64u, 65u, 1000u, 4096u, 100000u}) {
        const std::size_t n = amisim::default_fft_size(taps);
        SCOPED_TRACE(taps);
        EXPECT_EQ(n & (n - 1), 0u);
        EXPECT_GE(n, 2 * taps);
        EXPECT_LE(n, 64 * std::max<std::size_t>(taps, 8));
    }
    // Sizes the overlap-add cannot use are refused.
    EXPECT_EQ(amisim::make_fft_convolver(channel_taps(100), 128), nullptr);
    EXPECT_EQ(amisim::make_fft_convolver(channel_taps(100), 300), nullptr);
}

TEST(AmisimStimulus, PrbsBitsHeldForTheirSamplesInAnyCut) {
    const int spb = 5;
    const std::vector<std::uint8_t> bits = amisim::prbs_bits(7, 300);
    amisim::NrzSource source(7, spb);
    std::vector<double> x(bits.size() * spb);
    std::size_t done = 0;
    for (std::size_t cut : {1u, 4u, 6u, 13u, 1000u}) {
        const std::size_t count = std::min(cut, x.size() - done);
        source.fill(x.data() + done, count);
        done += count;
    }
    source.fill(x.data() + done, x.size() - done);
    std::vector<double> expected;
    for (std::uint8_t b : bits) {
        expected.insert(expected.end(), spb, b != 0 ? 0.5 : -0.5);
    }
    EXPECT_EQ(x, expected);
}

}  // namespace
