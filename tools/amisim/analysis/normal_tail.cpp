#include "tools/amisim/analysis/normal_tail.h"

#include <algorithm>
#include <cmath>

#include "common/reproducible_math.h"

namespace amisim {

namespace {

constexpr double kInvSqrt2 = 0.70710678118654752440;
constexpr double kInvSqrt2Pi = 0.39894228040143267794;

// A rational first guess of the lower-tail quantile (largest error about
// 1e-9 relative), refined below.
double first_guess(double p) {
    constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                            1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                            6.680131188771972e+01, -1.328068155288572e+01};
    constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                            -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                            3.754408661907416e+00};
    constexpr double kLow = 0.02425;
    if (p < kLow) {
        // Lower tail: in q = sqrt(-2 ln p). The upper tail Q(x) = p is the
        // lower tail's mirror, so the sign is turned.
        const double q = std::sqrt(-2.0 * ami::reproducible_log(p));
        return -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    const double q = p - 0.5;
    const double r = q * q;
    return -(((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

}  // namespace

double normal_tail(double x) {
    return 0.5 * ami::reproducible_erfc(x * kInvSqrt2);
}

double normal_density(double x) {
    return kInvSqrt2Pi * ami::reproducible_exp(-0.5 * x * x);
}

double normal_tail_inverse(double p) {
    p = std::min(std::max(p, 1e-300), 1.0 - 1e-16);
    if (p > 0.5) {
        return -normal_tail_inverse(1.0 - p);
    }
    double x = first_guess(p);
    // Halley's iteration on Q(x) - p, whose derivatives are -phi(x) and
    // x phi(x): cubic convergence from a guess already close.
    for (int i = 0; i < 4; ++i) {
        const double u = (normal_tail(x) - p) / normal_density(x);
        const double step = u / (1.0 - 0.5 * x * u);
        x += step;
        if (std::fabs(step) <= 1e-15 * std::fabs(x)) {
            break;
        }
    }
    return x;
}

}  // namespace amisim
