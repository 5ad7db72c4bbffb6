// The Gaussian tail's inverse against the tail and the tabled Q^-1(1e-12)
// (the tail itself is erfc, checked in common/, and the agreement tests
// meet it against the standard library's).
#include <gtest/gtest.h>

#include <cmath>

#include "tools/amisim/analysis/normal_tail.h"

namespace {

TEST(NormalTail, InverseMeetsItsRate) {
    EXPECT_NEAR(amisim::normal_tail_inverse(1e-12), 7.034484, 1e-6);
    EXPECT_EQ(amisim::normal_tail_inverse(0.5), 0.0);
    for (double p : {1e-300, 1e-100, 1e-15, 3e-7, 0.02, 0.3, 0.5, 0.7, 0.999}) {
        const double x = amisim::normal_tail_inverse(p);
        EXPECT_NEAR(amisim::normal_tail(x) / p, 1.0, 1e-13) << p;
    }
}

}  // namespace
