// exp, log, sin, cos, tanh and erfc of the library against long-double
// references: within one unit in the last place (erfc three) over the ranges
// the filter design, the tanh limiter and the stand-in's noise and error
// rates meet, and beyond.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/reproducible_math.h"

namespace {

// Distance in units in the last place between a double and a reference.
double ulps_from(double value, long double reference) {
    const double rounded = static_cast<double>(reference);
    if (value == rounded) {
        return 0.0;
    }
    const double ulp = std::nextafter(std::fabs(rounded), std::numeric_limits<double>::infinity()) -
                       std::fabs(rounded);
    return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / ulp);
}

template <typename F, typename R>
double worst_ulps(F function, R reference, double low, double high, int steps) {
    double worst = 0.0;
    for (int i = 0; i <= steps; ++i) {
        const double x = low + (high - low) * i / steps;
        worst = std::max(worst, ulps_from(function(x), reference(static_cast<long double>(x))));
    }
    return worst;
}

// The same over magnitudes spread evenly on a log scale, both signs.
template <typename F, typename R>
double worst_ulps_log(F function, R reference, double smallest, double largest, int steps) {
    double worst = 0.0;
    for (int i = 0; i <= steps; ++i) {
        const double magnitude = smallest * std::pow(largest / smallest, double(i) / steps);
        for (double x : {magnitude, -magnitude}) {
            worst = std::max(worst, ulps_from(function(x), reference(static_cast<long double>(x))));
        }
    }
    return worst;
}

TEST(ReproducibleMath, ExpIsWithinOneUlp) {
    auto reference = [](long double x) { return std::exp(x); };
    EXPECT_LE(worst_ulps(ami::reproducible_exp, reference, -1.0, 1.0, 200001), 1.0);
    EXPECT_LE(worst_ulps(ami::reproducible_exp, reference, -700.0, 700.0, 200001), 1.0);
    // Pole times sample interval, as the pre-emphasis design forms it.
    EXPECT_LE(worst_ulps(ami::reproducible_exp, reference, -40.0, 0.0, 100001), 1.0);
}

// Down to where exp underflows to zero: subnormal results, rounded.
TEST(ReproducibleMath, ExpIsWithinOneUlpWhereItUnderflows) {
    auto reference = [](long double x) { return std::exp(x); };
    EXPECT_LE(worst_ulps(ami::reproducible_exp, reference, -745.13, -700.0, 20001), 1.0);
}

TEST(ReproducibleMath, ExpEdges) {
    EXPECT_EQ(ami::reproducible_exp(0.0), 1.0);
    EXPECT_EQ(ami::reproducible_exp(-0.0), 1.0);
    EXPECT_EQ(ami::reproducible_exp(710.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ami::reproducible_exp(-746.0), 0.0);
    EXPECT_EQ(ami::reproducible_exp(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_TRUE(std::isnan(ami::reproducible_exp(std::nan(""))));
    EXPECT_GT(ami::reproducible_exp(-740.0), 0.0);  // subnormal, not flushed
}

TEST(ReproducibleMath, LogIsWithinOneUlp) {
    auto log = [](double x) { return ami::reproducible_log(x); };
    auto reference = [](long double x) { return std::log(x); };
    // Both sides of 1, where log cancels, and the seams of the reduction.
    EXPECT_LE(worst_ulps(log, reference, 0.5, 2.0, 200001), 1.0);
    EXPECT_LE(worst_ulps(log, reference, 1.0 - 1e-5, 1.0 + 1e-5, 20001), 1.0);
    EXPECT_LE(worst_ulps(log, reference, 0.70, 0.72, 20001), 1.0);
    EXPECT_LE(worst_ulps(log, reference, 1.40, 1.43, 20001), 1.0);
    // Magnitudes from subnormals to the largest doubles (worst_ulps_log
    // tries both signs; keep the positive ones).
    auto positive = [&](double x) { return x > 0.0 ? log(x) : static_cast<double>(std::log(-x)); };
    auto positive_ref = [](long double x) { return std::log(std::fabs(x)); };
    EXPECT_LE(worst_ulps_log(positive, positive_ref, 4.9e-324, 1.7e308, 200001), 1.0);
}

TEST(ReproducibleMath, LogEdges) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ami::reproducible_log(1.0), 0.0);
    EXPECT_EQ(ami::reproducible_log(0.0), -kInf);
    EXPECT_EQ(ami::reproducible_log(-0.0), -kInf);
    EXPECT_EQ(ami::reproducible_log(kInf), kInf);
    EXPECT_TRUE(std::isnan(ami::reproducible_log(-1e-300)));
    EXPECT_TRUE(std::isnan(ami::reproducible_log(-kInf)));
    EXPECT_TRUE(std::isnan(ami::reproducible_log(std::nan(""))));
    EXPECT_EQ(ami::reproducible_log(2.0), 6.93147180559945286227e-01);
}

// Over the whole range, and in the tail relative to its own size: the
// probability of a Gaussian beyond 38 standard deviations is still a
// number.
TEST(ReproducibleMath, ErfcIsWithinThreeUlps) {
    auto erfc = [](double x) { return ami::reproducible_erfc(x); };
    auto reference = [](long double x) { return std::erfc(x); };
    // Each range of the computation: 0.84375, 1.25, 1/0.35, 6, 28.
    for (double range : {0.3, 0.9, 1.3, 3.0, 6.5, 27.2}) {
        SCOPED_TRACE(range);
        EXPECT_LE(worst_ulps(erfc, reference, -range, range, 200001), 3.0);
    }
    EXPECT_LE(worst_ulps(erfc, reference, 26.0, 27.2, 20001), 3.0);  // subnormal results
    EXPECT_LE(worst_ulps_log(erfc, reference, 1e-300, 27.0, 100001), 3.0);
}

TEST(ReproducibleMath, ErfcEdges) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ami::reproducible_erfc(0.0), 1.0);
    EXPECT_EQ(ami::reproducible_erfc(kInf), 0.0);
    EXPECT_EQ(ami::reproducible_erfc(-kInf), 2.0);
    EXPECT_EQ(ami::reproducible_erfc(30.0), 0.0);
    EXPECT_EQ(ami::reproducible_erfc(-7.0), 2.0);
    EXPECT_GT(ami::reproducible_erfc(27.0), 0.0);  // subnormal, not flushed
    EXPECT_TRUE(std::isnan(ami::reproducible_erfc(std::nan(""))));
}

TEST(ReproducibleMath, SinAndCosAreWithinOneUlp) {
    auto sin_ref = [](long double x) { return std::sin(x); };
    auto cos_ref = [](long double x) { return std::cos(x); };
    for (double range : {0.78, 4.0, 100.0, 1e5}) {
        SCOPED_TRACE(range);
        EXPECT_LE(worst_ulps(ami::reproducible_sin, sin_ref, -range, range, 100001), 1.0);
        EXPECT_LE(worst_ulps(ami::reproducible_cos, cos_ref, -range, range, 100001), 1.0);
    }
}

// Next to the multiples of pi/2 the reduced argument cancels to a tiny
// remainder, which needs every part of pi/2: the double nearest k pi/2 for
// every k below 2^20, where the accuracy holds.
TEST(ReproducibleMath, SinAndCosNextToMultiplesOfHalfPi) {
    const long double half_pi = 1.570796326794896619231321691639751442L;
    double worst = 0.0;
    double worst_at = 0.0;
    for (int32_t k = 1; k < (1 << 20); ++k) {
        const double x = static_cast<double>(k * half_pi);
        const double error =
            std::max(ulps_from(ami::reproducible_sin(x), std::sin(static_cast<long double>(x))),
                     ulps_from(ami::reproducible_cos(x), std::cos(static_cast<long double>(x))));
        if (error > worst) {
            worst = error;
            worst_at = x;
        }
    }
    EXPECT_LE(worst, 1.0) << "at " << worst_at;
}

TEST(ReproducibleMath, SinAndCosEdges) {
    EXPECT_EQ(ami::reproducible_sin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(ami::reproducible_sin(-0.0)));
    EXPECT_EQ(ami::reproducible_cos(0.0), 1.0);
    EXPECT_EQ(ami::reproducible_sin(1e-300), 1e-300);
    // sin(pi) in doubles is the tiny difference between pi and its double.
    EXPECT_NEAR(ami::reproducible_sin(3.141592653589793), 1.2246467991473532e-16, 1e-31);
    EXPECT_TRUE(std::isnan(ami::reproducible_sin(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(ami::reproducible_cos(std::nan(""))));
}

TEST(ReproducibleMath, TanhIsWithinOneUlp) {
    auto reference = [](long double x) { return std::tanh(x); };
    // Each range of the computation, its seams (1/4, 22) and where the
    // result saturates.
    for (double range : {0.26, 1.5, 4.0, 25.0}) {
        SCOPED_TRACE(range);
        EXPECT_LE(worst_ulps(ami::reproducible_tanh, reference, -range, range, 200001), 1.0);
    }
    EXPECT_LE(worst_ulps(ami::reproducible_tanh, reference, 0.2499, 0.2501, 20001), 1.0);
    EXPECT_LE(worst_ulps_log(ami::reproducible_tanh, reference, 1e-300, 1e3, 100001), 1.0);
    EXPECT_LE(worst_ulps_log(ami::reproducible_tanh, reference, 1e-9, 1e-7, 20001), 1.0);
}

TEST(ReproducibleMath, TanhEdges) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(ami::reproducible_tanh(0.0), 0.0);
    EXPECT_FALSE(std::signbit(ami::reproducible_tanh(0.0)));
    EXPECT_TRUE(std::signbit(ami::reproducible_tanh(-0.0)));
    EXPECT_EQ(ami::reproducible_tanh(tiny), tiny);
    EXPECT_EQ(ami::reproducible_tanh(-tiny), -tiny);
    EXPECT_EQ(ami::reproducible_tanh(kInf), 1.0);
    EXPECT_EQ(ami::reproducible_tanh(-kInf), -1.0);
    EXPECT_EQ(ami::reproducible_tanh(1e300), 1.0);
    EXPECT_EQ(ami::reproducible_tanh(-std::numeric_limits<double>::max()), -1.0);
    EXPECT_TRUE(std::isnan(ami::reproducible_tanh(std::nan(""))));
    // Odd, and below 1 until it rounds there.
    for (double x : {0.3, 1.0, 7.5, 18.0}) {
        EXPECT_EQ(ami::reproducible_tanh(-x), -ami::reproducible_tanh(x)) << x;
        EXPECT_LT(ami::reproducible_tanh(x), 1.0) << x;
    }
}

}  // namespace
