// The Gaussian tail against the standard library's long-double erfc, and
// its inverse against its own round trip and the tabled Q^-1(1e-12).
#include <gtest/gtest.h>

#include <cmath>

#include "tools/amisim/analysis/normal_tail.h"

namespace {

// Relative to the tail: erfc's few units in the last place, and the
// rounding of x / sqrt 2, which the tail's slope x^2 magnifies.
TEST(NormalTail, IsTheGaussianTailToItsOwnPrecision) {
    for (double x = -8.0; x <= 37.0; x += 0.01) {
        const long double exact = 0.5L * std::erfc(x / std::sqrt(2.0L));
        ASSERT_NEAR(amisim::normal_tail(x) / static_cast<double>(exact), 1.0, 1e-15 + 3e-16 * x * x)
            << x;
    }
}

TEST(NormalTail, InverseMeetsItsRate) {
    EXPECT_NEAR(amisim::normal_tail_inverse(1e-12), 7.034484, 1e-6);
    EXPECT_EQ(amisim::normal_tail_inverse(0.5), 0.0);
    for (double p : {1e-300, 1e-100, 1e-15, 3e-7, 0.02, 0.3, 0.5, 0.7, 0.999}) {
        const double x = amisim::normal_tail_inverse(p);
        EXPECT_NEAR(amisim::normal_tail(x) / p, 1.0, 1e-13) << p;
    }
}

}  // namespace
