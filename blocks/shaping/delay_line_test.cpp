// The delay line: lengths from the rounding of delay / sample interval, the
// shifted stream, and the records that pass samples through. Blocks,
// resets and in-place runs are the block contract's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_common.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using OwnedDelay = Owned<DelayLine, DeleteDelay>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> delayed(const OwnedDelay &line, const std::vector<double> &input) {
    std::vector<double> output(input.size(), -99.0);
    ApplyDelay(input.data(), static_cast<int32_t>(input.size()), line.get(), 0, output.data());
    return output;
}

struct LengthCase {
    std::string name;
    double delay;
    double sample_interval;
    int32_t length;  // 0: the pass-through record
    friend void PrintTo(const LengthCase &row, std::ostream *os) { *os << row.name; }
};

class DelayLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(DelayLength, RoundsToTheNearestSampleWithHalvesDown) {
    const LengthCase &c = GetParam();
    const OwnedDelay line(SetupDelay(c.delay, c.sample_interval));
    EXPECT_EQ(line->length, c.length);
    const std::vector<double> ramp{1, 2, 3, 4, 5, 6, 7, 8};
    if (c.length == 0) {
        EXPECT_EQ(line->buffer, nullptr);
        EXPECT_EQ(delayed(line, ramp), ramp);
        return;
    }
    EXPECT_EQ(*line->position, 0);
    EXPECT_THAT(std::vector<double>(line->buffer, line->buffer + line->length), Each(0.0));
    // Each sample comes out length - 1 samples later.
    std::vector<double> expected(ramp.size(), 0.0);
    for (std::size_t t = static_cast<std::size_t>(c.length - 1); t < ramp.size(); ++t) {
        expected[t] = ramp[t - static_cast<std::size_t>(c.length - 1)];
    }
    EXPECT_EQ(delayed(line, ramp), expected);
}

INSTANTIATE_TEST_SUITE_P(Delay, DelayLength,
                         ::testing::ValuesIn(std::vector<LengthCase>{
                             {"ThreeNanosecondsAtOne", 3e-9, 1e-9, 4},
                             {"ExactHalfRoundsDown", 2.5, 1.0, 3},
                             {"AboveHalfRoundsUp", 2.6, 1.0, 4},
                             {"Zero", 0.0, 1e-12, 1},
                             {"UnderHalfASample", 0.49, 1.0, 1},
                             {"UnderHalfASampleEarly", -0.49, 1.0, 1},
                             {"HalfASampleEarlyPassesThrough", -0.5, 1.0, 0},
                             {"OneSampleEarlyPassesThrough", -1e-9, 1e-9, 0},
                             {"NaNRatioPassesThrough", kNaN, 1.0, 0},
                             {"ZeroOverZeroPassesThrough", 0.0, 0.0, 0},
                             {"InfiniteRatioPassesThrough", 1.0, 0.0, 0},
                             {"MinusInfinityPassesThrough", -kInf, 1.0, 0},
                             {"HugeRatioPassesThrough", 1e30, 1.0, 0},
                             {"LongestLineAndOnePassesThrough", 2147483647.0, 1.0, 0},
                         }),
                         [](const auto &row) { return row.param.name; });

// The length as counting n = 1, 2, ... while ratio > n finds it (in 32 bits).
int32_t counted(double ratio) {
    if (!(ratio > 0.0)) {
        return 0;
    }
    int32_t n = 1;
    while (ratio > n) {
        ++n;
    }
    return n;
}

TEST(WholeSamples, EqualsCountingForEveryRatioCountingHandles) {
    std::vector<double> ratios{1e-300,    0x1p-1074,  1e-9,       0.999999,
                               1e6 + 0.5, 16777216.5, 33554431.75};
    for (int k = -3; k <= 1000; ++k) {
        for (double base : {double(k), k + 0.5, k + 0.25}) {
            ratios.insert(ratios.end(),
                          {std::nextafter(base, -kInf), base, std::nextafter(base, kInf)});
        }
    }
    for (double ratio : ratios) {
        ASSERT_EQ(ami::whole_samples_at_least(ratio, INT32_MAX), counted(ratio))
            << std::hexfloat << ratio;
    }
}

TEST(WholeSamples, RefusesWhatCountingCannotFinish) {
    EXPECT_EQ(ami::whole_samples_at_least(2147483647.0, INT32_MAX), INT32_MAX);
    EXPECT_EQ(ami::whole_samples_at_least(2147483646.5, INT32_MAX), INT32_MAX);
    EXPECT_EQ(ami::whole_samples_at_least(std::nextafter(2147483647.0, kInf), INT32_MAX), -1);
    EXPECT_EQ(ami::whole_samples_at_least(2147483646.0, INT32_MAX - 1), INT32_MAX - 1);
    EXPECT_EQ(ami::whole_samples_at_least(2147483646.5, INT32_MAX - 1), -1);
    for (double ratio : {1e30, kInf, -kInf, kNaN}) {
        EXPECT_EQ(ami::whole_samples_at_least(ratio, INT32_MAX), -1) << ratio;
    }
}

// A negative delay gives length 0 with a position cell that stays 0.
TEST(DelayLine, PassThroughRecordAcceptsResetsAndEmptyBlocks) {
    const OwnedDelay line(SetupDelay(-2.0, 1.0));
    std::vector<double> samples{1.5, -2.5, 3.5};
    ApplyDelay(samples.data(), 3, line.get(), 1, samples.data());
    ApplyDelay(samples.data(), 0, line.get(), 1, samples.data());
    EXPECT_THAT(samples, ElementsAre(1.5, -2.5, 3.5));
    ASSERT_NE(line->position, nullptr);
    EXPECT_EQ(*line->position, 0);
}

TEST(DelayLine, LongDelayCarriesSamplesAcrossManyCalls) {
    const OwnedDelay line(SetupDelay(1000.0, 1.0));
    std::vector<double> stream(2500);
    for (std::size_t t = 0; t < stream.size(); ++t) {
        stream[t] = static_cast<double>(t) + 1.0;
    }
    std::vector<double> output;
    for (std::size_t done = 0; done < stream.size(); done += 3) {
        const std::vector<double> piece(
            stream.begin() + static_cast<std::ptrdiff_t>(done),
            stream.begin() + static_cast<std::ptrdiff_t>(std::min(done + 3, stream.size())));
        const std::vector<double> out = delayed(line, piece);
        output.insert(output.end(), out.begin(), out.end());
    }
    EXPECT_THAT(std::vector<double>(output.begin(), output.begin() + 1000), Each(0.0));
    EXPECT_THAT(std::vector<double>(output.begin() + 1000, output.end()),
                ElementsAreArray(stream.begin(), stream.begin() + 1500));
}

}  // namespace
