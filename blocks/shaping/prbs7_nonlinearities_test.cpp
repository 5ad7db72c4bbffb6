// The table and the tanh limiter through the PRBS7 waveform, against the
// linear round trip PRBS2I(I2PRBS(h)) (or PRBS2P(P2PRBS(p))) that the
// nonlinearity sits in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_test_support.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Each;
using ::testing::Pointwise;

using OwnedTable = Owned<Table, DeleteTable>;

constexpr int32_t kSamplesPerBit = 4;
constexpr int32_t kPeriod = 127 * kSamplesPerBit;
constexpr double kT = 1e-11;

// A channel of one pole: h = exp(-t / 6 samples) / (6 T), area about 1.
Samples channel(int32_t n) {
    Samples h(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < h.size(); ++i) {
        h[i] = std::exp(-static_cast<double>(i) / 6.0) / (6.0 * kT);
    }
    return h;
}

double largest_magnitude(const Samples &x) {
    double m = 0.0;
    for (double v : x) {
        m = std::max(m, std::fabs(v));
    }
    return m;
}

Samples round_trip(const Samples &h) {
    Samples waveform(kPeriod);
    Samples out(h.size());
    I2PRBS(waveform.data(), h.data(), size_of(h), kSamplesPerBit, kT);
    PRBS2I(out.data(), waveform.data(), size_of(h), kSamplesPerBit, kT);
    return out;
}

Samples limited(const Samples &h, double limit, int32_t samples_per_bit = kSamplesPerBit) {
    Samples out(h.size(), -99.0);
    Apply_tanh(h.data(), size_of(h), samples_per_bit, kT, limit, out.data());
    return out;
}

Samples difference(const Samples &a, const Samples &b) {
    Samples d(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        d[i] = a[i] - b[i];
    }
    return d;
}

class ApplyTanh : public ::testing::Test {
  protected:
    const Samples h = channel(kPeriod + 40);
    const Samples linear = round_trip(h);
    double waveform_peak() const {
        Samples waveform(kPeriod);
        I2PRBS(waveform.data(), h.data(), size_of(h), kSamplesPerBit, kT);
        return largest_magnitude(waveform);
    }
};

// b tanh(w/b) = w - w^3 / (3 b^2) + ...: the unfolded response moves away
// from the linear one by the order of (w/b)^2, a hundredth for each tenfold
// limit.
TEST_F(ApplyTanh, LargeLimitDepartsFromTheLinearRoundTripAsTheSquareOfSampleOverLimit) {
    const double peak = waveform_peak();
    const double scale = largest_magnitude(linear);
    double previous = 0.0;
    for (double ratio : {20.0, 200.0, 2000.0}) {
        SCOPED_TRACE(ratio);
        const Samples result = limited(h, ratio * peak);
        EXPECT_THAT(result, Pointwise(DoubleNear(scale / (ratio * ratio)), linear));
        const double departure = largest_magnitude(difference(result, linear));
        EXPECT_GT(departure, 0.0);
        if (previous > 0.0) {
            EXPECT_NEAR(previous / departure, 100.0, 2.0);
        }
        previous = departure;
    }
}

TEST_F(ApplyTanh, LimitsWithoutAQuotient) {
    EXPECT_THAT(limited(h, 0.0), Each(0.0));
    EXPECT_THAT(limited(h, -0.0), Each(0.0));
    EXPECT_THAT(limited(h, std::numeric_limits<double>::infinity()), HasSameBits(linear));
    EXPECT_THAT(limited(h, -std::numeric_limits<double>::infinity()), HasSameBits(linear));
    const double peak = waveform_peak();
    EXPECT_THAT(limited(h, -0.5 * peak), HasSameBits(limited(h, 0.5 * peak)));
}

TEST_F(ApplyTanh, InPlaceAndWithoutAPeriod) {
    Samples in_place = h;
    Apply_tanh(in_place.data(), size_of(in_place), kSamplesPerBit, kT, 0.3, in_place.data());
    EXPECT_THAT(in_place, HasSameBits(limited(h, 0.3)));
    for (int32_t samples_per_bit : {0, -4, 5636441, INT32_MAX}) {
        EXPECT_THAT(limited(h, 0.3, samples_per_bit), Each(0.0)) << samples_per_bit;
    }
}

// A table that is the identity over the whole waveform, and one that
// doubles it, change nothing but the scale.
TEST(TablePRBS, LinearTablesGiveTheLinearRoundTripScaled) {
    const Samples h = channel(kPeriod + 40);
    const Samples linear = round_trip(h);
    const double tolerance = 1e-12 * largest_magnitude(linear);
    const OwnedTable identity(
        SetTable(2, std::vector<double>{-10, 10}.data(), std::vector<double>{-10, 10}.data()));
    Samples out(h.size());
    ApplyTablePRBS(h.data(), size_of(h), kSamplesPerBit, kT, identity.get(), out.data());
    EXPECT_THAT(out, Pointwise(DoubleNear(tolerance), linear));

    Samples pulse(h.size());
    I2P(pulse.data(), h.data(), size_of(h), kSamplesPerBit, kT);
    Samples waveform(kPeriod);
    P2PRBS(waveform.data(), pulse.data(), size_of(pulse), kSamplesPerBit, kT);
    Samples doubled(pulse.size());
    PRBS2P(doubled.data(), waveform.data(), size_of(pulse), kSamplesPerBit, kT);
    for (double &v : doubled) {
        v *= 2.0;
    }
    const OwnedTable twice(SetTable(3, std::vector<double>{-10, 0, 10}.data(),
                                    std::vector<double>{-20, 0, 20}.data()));
    PulseTablePRBS(pulse.data(), size_of(pulse), kSamplesPerBit, kT, twice.get(), out.data());
    EXPECT_THAT(out, Pointwise(DoubleNear(2 * tolerance), doubled));
}

// A table that clips the waveform at a quarter of its peak: the unfolded
// pulse is the clipped waveform's, whose main cursor is well below the
// linear one.
TEST(TablePRBS, ClippingTableLowersTheMainCursor) {
    const Samples h = channel(kPeriod + 40);
    Samples pulse(h.size());
    I2P(pulse.data(), h.data(), size_of(h), kSamplesPerBit, kT);
    const double clip = 0.25 * largest_magnitude(pulse);
    const OwnedTable clipper(SetTable(2, std::vector<double>{-clip, clip}.data(),
                                      std::vector<double>{-clip, clip}.data()));
    Samples out(pulse.size());
    PulseTablePRBS(pulse.data(), size_of(pulse), kSamplesPerBit, kT, clipper.get(), out.data());
    EXPECT_LT(largest_magnitude(out), 0.5 * largest_magnitude(pulse));
    EXPECT_GT(largest_magnitude(out), 0.0);
}

}  // namespace
