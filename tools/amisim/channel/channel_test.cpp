// The stand-in's channels: the built-in line against its closed form, and
// channel files in their accepted shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/amisim/channel/channel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string write_file(const std::string &name, const std::string &content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << content;
    return path;
}

// The sampled built-in channel has the loss its closed form states: the
// discrete-time Fourier transform of the samples at 5 GHz.
TEST(DefaultChannel, SampledResponseHasTheStatedLossAtNyquist) {
    const amisim::DefaultChannelShape shape;
    const double dt = 3.125e-12;
    const amisim::Channel channel = amisim::default_channel(shape, dt, 32 * 1024);
    ASSERT_EQ(channel.columns.size(), 1u);
    const double f = 5e9;
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < channel.columns[0].size(); ++n) {
        sum += channel.columns[0][n] * dt *
               std::polar(1.0, -2.0 * kPi * f * dt * static_cast<double>(n));
    }
    const double measured_db = -20.0 * std::log10(std::abs(sum));
    const double stated_db = amisim::default_channel_loss_db(shape, f);
    EXPECT_NEAR(stated_db, 11.44, 0.01);
    // Cell averaging adds a sinc of the sample interval: small at 5 GHz.
    EXPECT_NEAR(measured_db, stated_db, 0.1);
}

TEST(DefaultChannel, AreaApproachesOneAsTheResponseLengthens) {
    const double dt = 3.125e-12;
    double previous = 0.0;
    for (std::size_t samples : {1024u, 8192u, 65536u}) {
        const amisim::Channel channel = amisim::default_channel({}, dt, samples);
        double area = 0.0;
        for (double h : channel.columns[0]) {
            area += h * dt;
        }
        EXPECT_GT(area, previous);
        EXPECT_LT(area, 1.0);
        previous = area;
    }
    EXPECT_GT(previous, 0.98);
}

TEST(ChannelFile, OneSamplePerLineWithCommentsAndBlankLines) {
    const std::string path =
        write_file("one.txt", "# impulse response\n1e9\n\n  2e9  # peak\n-5e8\r\n");
    amisim::Channel channel;
    std::string error;
    ASSERT_TRUE(amisim::read_channel_file(path, channel, error)) << error;
    ASSERT_EQ(channel.columns.size(), 1u);
    EXPECT_EQ(channel.columns[0], (std::vector<double>{1e9, 2e9, -5e8}));
    EXPECT_EQ(channel.sample_interval, 0.0);
}

TEST(ChannelFile, TimeColumnSetsTheIntervalAndFurtherColumnsAreAggressors) {
    const std::string path =
        write_file("timed.txt", "0, 1, 10, 100\n2e-12, 2, 20, 200\n4e-12, 3, 30, 300\n");
    amisim::Channel channel;
    std::string error;
    ASSERT_TRUE(amisim::read_channel_file(path, channel, error)) << error;
    ASSERT_EQ(channel.columns.size(), 3u);
    EXPECT_EQ(channel.columns[2], (std::vector<double>{100, 200, 300}));
    EXPECT_DOUBLE_EQ(channel.sample_interval, 2e-12);
}

TEST(ChannelFile, ColumnsWithoutAnEvenTimeStepAreAllResponses) {
    const std::string path = write_file("pairs.txt", "1 5\n3 6\n4 7\n");
    amisim::Channel channel;
    std::string error;
    ASSERT_TRUE(amisim::read_channel_file(path, channel, error)) << error;
    EXPECT_EQ(channel.columns.size(), 2u);
    EXPECT_EQ(channel.sample_interval, 0.0);
}

TEST(ChannelFile, ErrorsNameTheFileAndLine) {
    struct Case {
        const char *content;
        const char *message;
    };
    for (const Case &c : {Case{"1\n2\n1e999\n", ":3: '1e999' is not a number"},
                          Case{"1 2\n3\n", ":2: 1 columns where the first data line has 2"},
                          Case{"# nothing\n", "no samples"}, Case{",,\n ;\t\n", "no samples"},
                          Case{"1\nnan\n", ":2: 'nan' is not a number"}}) {
        const std::string path = write_file("bad.txt", c.content);
        amisim::Channel channel;
        std::string error;
        EXPECT_FALSE(amisim::read_channel_file(path, channel, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind(path, 0), 0u) << error;
    }
    amisim::Channel channel;
    std::string error;
    EXPECT_FALSE(amisim::read_channel_file("/nonexistent/channel.txt", channel, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace
