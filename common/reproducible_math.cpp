#include "common/reproducible_math.h"

#include <cmath>
#include <limits>

namespace ami {

namespace {

// exp: x = k ln2 + r, |r| <= ln2/2, with ln2 split so that k * kLn2High is
// exact; exp(r) from a rational form of a minimax polynomial; then 2^k.
constexpr double kLn2High = 6.93147180369123816490e-01;
constexpr double kLn2Low = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kExpP1 = 1.66666666666666019037e-01;
constexpr double kExpP2 = -2.77777777770155933842e-03;
constexpr double kExpP3 = 6.61375632143793436117e-05;
constexpr double kExpP4 = -1.65339022054652515390e-06;
constexpr double kExpP5 = 4.13813679705723846039e-08;
constexpr double kExpOverflow = 7.09782712893383973096e+02;
constexpr double kExpUnderflow = -7.45133219101941108420e+02;

// pi/2 in three 33-bit parts, each with the tail that follows it; n * part
// is exact for |n| < 2^20.
constexpr double kInvPio2 = 6.36619772367581382433e-01;
constexpr double kPio2Part1 = 1.57079632673412561417e+00;
constexpr double kPio2Tail1 = 6.07710050650619224932e-11;
constexpr double kPio2Part2 = 6.07710050630396597660e-11;
constexpr double kPio2Tail2 = 2.02226624879595063154e-21;
constexpr double kPio2Part3 = 2.02226624871116645580e-21;
constexpr double kPio2Tail3 = 8.47842766036889956997e-32;

// Minimax coefficients of sin and cos on [-pi/4, pi/4].
constexpr double kSin1 = -1.66666666666666324348e-01;
constexpr double kSin2 = 8.33333333332248946124e-03;
constexpr double kSin3 = -1.98412698298579493134e-04;
constexpr double kSin4 = 2.75573137070700676789e-06;
constexpr double kSin5 = -2.50507602534068634195e-08;
constexpr double kSin6 = 1.58969099521155010221e-10;
constexpr double kCos1 = 4.16666666666666019037e-02;
constexpr double kCos2 = -1.38888888888741095749e-03;
constexpr double kCos3 = 2.48015872894767294178e-05;
constexpr double kCos4 = -2.75573143513906633035e-07;
constexpr double kCos5 = 2.08757232129817482790e-09;
constexpr double kCos6 = -1.13596475577881948265e-11;

// sin(x + y) for |x + y| <= pi/4, y a small correction to x.
double kernel_sin(double x, double y) {
    const double z = x * x;
    const double v = z * x;
    const double r = kSin2 + z * (kSin3 + z * (kSin4 + z * (kSin5 + z * kSin6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * kSin1);
}

// cos(x + y) for |x + y| <= pi/4.
double kernel_cos(double x, double y) {
    const double z = x * x;
    const double r =
        z * (kCos1 + z * (kCos2 + z * (kCos3 + z * (kCos4 + z * (kCos5 + z * kCos6)))));
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// x = n pi/2 + (y0 + y1) with |y0 + y1| <= pi/4; returns n mod 4. Each
// further part of pi/2 is brought in only when the remainder has cancelled
// so far that the previous parts no longer hold enough bits.
int reduce_by_half_pi(double x, double &y0, double &y1) {
    const double n = std::nearbyint(x * kInvPio2);
    double r = x - n * kPio2Part1;  // exact: n * part has at most 53 bits
    double w = n * kPio2Tail1;
    y0 = r - w;
    const int exponent = std::ilogb(x);
    if (exponent - std::ilogb(y0) > 16) {
        double t = r;
        w = n * kPio2Part2;
        r = t - w;
        w = n * kPio2Tail2 - ((t - r) - w);
        y0 = r - w;
        if (exponent - std::ilogb(y0) > 49) {
            t = r;
            w = n * kPio2Part3;
            r = t - w;
            w = n * kPio2Tail3 - ((t - r) - w);
            y0 = r - w;
        }
    }
    y1 = (r - y0) - w;
    const double quadrant = std::fmod(n, 4.0);
    return static_cast<int>(quadrant < 0.0 ? quadrant + 4.0 : quadrant);
}

}  // namespace

double reproducible_exp(double x) {
    if (std::isnan(x)) {
        return x;
    }
    if (x > kExpOverflow) {
        return std::numeric_limits<double>::infinity();
    }
    if (x < kExpUnderflow) {
        return 0.0;
    }
    const double k = std::nearbyint(x * kInvLn2);
    const double hi = x - k * kLn2High;
    const double lo = k * kLn2Low;
    const double r = hi - lo;
    const double t = r * r;
    const double c = r - t * (kExpP1 + t * (kExpP2 + t * (kExpP3 + t * (kExpP4 + t * kExpP5))));
    const double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    return std::ldexp(y, static_cast<int>(k));
}

double reproducible_sin(double x) {
    if (!std::isfinite(x)) {
        return x - x;  // NaN for infinities, NaN stays NaN
    }
    if (std::fabs(x) <= 0.785398163397448279) {
        return kernel_sin(x, 0.0);
    }
    double y0 = 0.0;
    double y1 = 0.0;
    switch (reduce_by_half_pi(x, y0, y1)) {
        case 0:
            return kernel_sin(y0, y1);
        case 1:
            return kernel_cos(y0, y1);
        case 2:
            return -kernel_sin(y0, y1);
        default:
            return -kernel_cos(y0, y1);
    }
}

double reproducible_cos(double x) {
    if (!std::isfinite(x)) {
        return x - x;
    }
    if (std::fabs(x) <= 0.785398163397448279) {
        return kernel_cos(x, 0.0);
    }
    double y0 = 0.0;
    double y1 = 0.0;
    switch (reduce_by_half_pi(x, y0, y1)) {
        case 0:
            return kernel_cos(y0, y1);
        case 1:
            return -kernel_sin(y0, y1);
        case 2:
            return -kernel_cos(y0, y1);
        default:
            return kernel_sin(y0, y1);
    }
}

}  // namespace ami
