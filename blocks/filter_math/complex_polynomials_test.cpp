// Complex arithmetic and polynomial sums and products.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Kestrom_AMI_Model.h"

namespace {

void expect_complex(Complex actual, double re, double im) {
    EXPECT_EQ(actual.re, re);
    EXPECT_EQ(actual.im, im);
}

TEST(ComplexArithmetic, OperationsFollowTheTextbookFormulas) {
    const double pair[2] = {1.5, -2.0};
    expect_complex(array2Cpx(pair), 1.5, -2.0);
    expect_complex(imadd(cmplx(1, 2), cmplx(10, 20)), 11, 22);
    expect_complex(imsub(cmplx(1, 2), cmplx(10, 30)), -9, -28);  // a - b, not b - a
    expect_complex(improduct(cmplx(0, 1), cmplx(0, 1)), -1, 0);
    expect_complex(improduct(cmplx(1, 2), cmplx(3, -4)), 11, 2);
    expect_complex(imdiv(cmplx(1, 0), cmplx(0, 1)), 0, -1);
    expect_complex(imdiv(cmplx(3, -5), cmplx(-2, 0)), -1.5, 2.5);
    expect_complex(imdiv(cmplx(11, 2), cmplx(3, -4)), 1, 2);
    EXPECT_EQ(imabs(cmplx(3, -4)), 5.0);
    // No scaling: a modulus whose square overflows is infinite.
    EXPECT_TRUE(std::isinf(imabs(cmplx(1e200, 0))));
}

TEST(ComplexArithmetic, ExponentialOfIPiKeepsTheRoundingOfSine) {
    const Complex z = imexp(cmplx(0, M_PI));
    EXPECT_EQ(z.re, -1.0);
    EXPECT_NE(z.im, 0.0);
    EXPECT_LT(std::fabs(z.im), 1e-15);
    const Complex w = imexp(cmplx(1, 0.5));
    const long double magnitude = std::exp(1.0L);
    EXPECT_NEAR(w.re, static_cast<double>(magnitude * std::cos(0.5L)), 1e-15);
    EXPECT_NEAR(w.im, static_cast<double>(magnitude * std::sin(0.5L)), 1e-15);
}

TEST(ComplexArithmetic, NaNDivisorDoesNotTripTheZeroCheck) {
    const Complex z = imdiv(cmplx(1, 1), cmplx(NAN, 0));
    EXPECT_TRUE(std::isnan(z.re));
}

using ComplexArithmeticDeathTest = ::testing::Test;

TEST(ComplexArithmeticDeathTest, DivisionByZeroAbortsWithTheAssertionReport) {
    const char *report = "Kestrom_AMI_Model:630: imdiv: Assertion `b_mag' failed";
    EXPECT_DEATH(imdiv(cmplx(1, 2), cmplx(0, 0)), report);
    EXPECT_DEATH(imdiv(cmplx(1, 2), cmplx(-0.0, 0)), report);
    EXPECT_DEATH(imdiv(cmplx(1, 2), cmplx(0, -0.0)), report);
}

TEST(Polynomials, SumsStopAtTheShorterOperand) {
    std::vector<double> a{1, 2, 3};
    const std::vector<double> b{10, 20, 30};
    PolyAdd(a.data(), 3, b.data(), 2);
    EXPECT_EQ(a, (std::vector<double>{11, 22, 3}));
    PolyAdd(a.data(), 2, b.data(), 3);
    EXPECT_EQ(a, (std::vector<double>{21, 42, 3}));
    PolyAdd(a.data(), 3, b.data(), 0);
    PolyAdd(a.data(), -1, b.data(), 3);
    EXPECT_EQ(a, (std::vector<double>{21, 42, 3}));

    std::vector<Complex> ca{cmplx(1, 1), cmplx(2, 2)};
    const std::vector<Complex> cb{cmplx(1, -1), cmplx(5, 5), cmplx(9, 9)};
    CPolyAdd(ca.data(), 1, cb.data(), 3);
    expect_complex(ca[0], 2, 0);
    expect_complex(ca[1], 2, 2);
}

TEST(Polynomials, ProductsAreTruncatedToTheFirstOperandsLength) {
    std::vector<double> a{1, 2};
    const std::vector<double> b{3, 4};
    PolyMult(a.data(), 2, b.data(), 2);
    EXPECT_EQ(a, (std::vector<double>{3, 10}));  // 8 z^2 dropped
    std::vector<double> longer{1, 2, 0};
    PolyMult(longer.data(), 3, b.data(), 2);
    EXPECT_EQ(longer, (std::vector<double>{3, 10, 8}));
    // Coefficients of b at or beyond na are never read.
    std::vector<double> single{2};
    const double b_long[2] = {3, NAN};
    PolyMult(single.data(), 1, b_long, 2);
    EXPECT_EQ(single, (std::vector<double>{6}));

    std::vector<Complex> c{cmplx(1, 0), cmplx(2, 0), cmplx(0, 0)};
    const std::vector<Complex> d{cmplx(3, 0), cmplx(4, 0)};
    CPolyMult(c.data(), 2, d.data(), 2);
    expect_complex(c[0], 3, 0);
    expect_complex(c[1], 10, 0);
    expect_complex(c[2], 0, 0);
    std::vector<Complex> e{cmplx(1, 1), cmplx(0, 2), cmplx(0, 0)};
    CPolyMult(e.data(), 3, d.data(), 2);  // (1 + i) 3, (1 + i) 4 + 2i 3, 2i 4
    expect_complex(e[0], 3, 3);
    expect_complex(e[1], 4, 10);
    expect_complex(e[2], 0, 8);
}

TEST(Polynomials, ProductWithItselfAndWithTheEmptyPolynomial) {
    std::vector<double> a{1, 1, 0};
    PolyMult(a.data(), 3, a.data(), 3);  // (1 + z)^2
    EXPECT_EQ(a, (std::vector<double>{1, 2, 1}));
    std::vector<Complex> c{cmplx(1, 1), cmplx(1, 0)};
    CPolyMult(c.data(), 2, c.data(), 2);
    expect_complex(c[0], 0, 2);
    expect_complex(c[1], 2, 2);
    PolyMult(a.data(), 3, a.data(), 0);
    EXPECT_EQ(a, (std::vector<double>{0, 0, 0}));
    std::vector<double> untouched{5};
    PolyMult(untouched.data(), 0, a.data(), 3);
    EXPECT_EQ(untouched, (std::vector<double>{5}));
}

}  // namespace
