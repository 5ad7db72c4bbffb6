#include "common/reproducible_math.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
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

// log: x = 2^k (1 + f) with sqrt(2)/2 <= 1 + f < sqrt(2); log(1 + f) =
// f - f^2/2 + s (f^2/2 + R(s^2)), s = f / (2 + f), R a minimax polynomial.
constexpr double kLogLg1 = 6.666666666666735130e-01;
constexpr double kLogLg2 = 3.999999999940941908e-01;
constexpr double kLogLg3 = 2.857142874366239149e-01;
constexpr double kLogLg4 = 2.222219843214978396e-01;
constexpr double kLogLg5 = 1.818357216161805012e-01;
constexpr double kLogLg6 = 1.531383769920937332e-01;
constexpr double kLogLg7 = 1.479819860511658591e-01;
constexpr double kTwo54 = 1.80143985094819840000e+16;

// erfc: rational approximations on |x| < 0.84375 (of erf), [0.84375, 1.25)
// (of erf(x) - erx about 1), [1.25, 1/0.35) and [1/0.35, 28) (of
// log(x erfc(x)) + x^2 + 0.5625 in 1/x^2).
constexpr double kErx = 8.45062911510467529297e-01;
constexpr double kErfPp[] = {1.28379167095512558561e-01, -3.25042107247001499370e-01,
                             -2.84817495755985104766e-02, -5.77027029648944159157e-03,
                             -2.37630166566501626084e-05};
constexpr double kErfQq[] = {3.97917223959155352819e-01, 6.50222499887672944485e-02,
                             5.08130628187576562776e-03, 1.32494738004321644526e-04,
                             -3.96022827877536812320e-06};
constexpr double kErfPa[] = {-2.36211856075265944077e-03, 4.14856118683748331666e-01,
                             -3.72207876035701323847e-01, 3.18346619901161753674e-01,
                             -1.10894694282396677476e-01, 3.54783043256182359371e-02,
                             -2.16637559486879084300e-03};
constexpr double kErfQa[] = {1.06420880400844228286e-01, 5.40397917702171048937e-01,
                             7.18286544141962662868e-02, 1.26171219808761642112e-01,
                             1.36370839120290507362e-02, 1.19844998467991074170e-02};
constexpr double kErfcRa[] = {-9.86494403484714822705e-03, -6.93858572707181764372e-01,
                              -1.05586262253232909814e+01, -6.23753324503260060396e+01,
                              -1.62396669462573470355e+02, -1.84605092906711035994e+02,
                              -8.12874355063065934246e+01, -9.81432934416914548592e+00};
constexpr double kErfcSa[] = {1.96512716674392571292e+01, 1.37657754143519042600e+02,
                              4.34565877475229228821e+02, 6.45387271733267880336e+02,
                              4.29008140027567833386e+02, 1.08635005541779435134e+02,
                              6.57024977031928170135e+00, -6.04244152148580987438e-02};
constexpr double kErfcRb[] = {-9.86494292470009928597e-03, -7.99283237680523006574e-01,
                              -1.77579549177547519889e+01, -1.60636384855821916062e+02,
                              -6.37566443368389627722e+02, -1.02509513161107724954e+03,
                              -4.83519191608651397019e+02};
constexpr double kErfcSb[] = {3.03380607434824582924e+01, 3.25792512996573918826e+02,
                              1.53672958608443695994e+03, 3.19985821950859553908e+03,
                              2.55305040643316442583e+03, 4.74528541206955367215e+02,
                              -2.24409524465858183362e+01};

std::uint64_t bits_of(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double from_bits(std::uint64_t bits) {
    double x = 0.0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// c[0] + z (c[1] + z (c[2] + ...)), by Horner's rule from the last coefficient.
template <std::size_t N>
double polynomial(const double (&c)[N], double z) {
    double sum = c[N - 1];
    for (std::size_t i = N - 1; i-- > 0;) {
        sum = c[i] + z * sum;
    }
    return sum;
}

// 1 + z (c[0] + z (c[1] + ...)): the denominators, whose constant term is 1.
template <std::size_t N>
double one_plus(const double (&c)[N], double z) {
    return 1.0 + z * polynomial(c, z);
}

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

// Taylor coefficients of tanh(x) = x + x * z * P(z), z = x^2, enough for
// |x| < 1/4, where the last term left out is below 2^-60 of the result.
constexpr double kTanhSeries[] = {
    -1.0 / 3.0,
    2.0 / 15.0,
    -17.0 / 315.0,
    62.0 / 2835.0,
    -1382.0 / 155925.0,
    21844.0 / 6081075.0,
    -929569.0 / 638512875.0,
    6404582.0 / 10854718875.0,
    -443861162.0 / 1856156927625.0,
    18888466084.0 / 194896477400625.0,
    -113927491862.0 / 2900518163668125.0,
    58870668456604.0 / 3698160658676859375.0,
};
constexpr double kTanhSeriesLimit = 0.25;
// Below this tanh(x) rounds to x: x^3/3 is under half a unit of x.
constexpr double kTanhIdentityLimit = 0x1p-27;
// From here on tanh rounds to 1: 1 - tanh(x) < 2 exp(-2x) < 2^-54.
constexpr double kTanhSaturation = 22.0;

// A double-double: the unevaluated sum hi + lo, |lo| <= ulp(hi) / 2.
struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly (Knuth).
DoubleDouble two_sum(double a, double b) {
    const double s = a + b;
    const double b_part = s - a;
    return {s, (a - (s - b_part)) + (b - b_part)};
}

// a + b exactly, for |a| >= |b| (Dekker).
DoubleDouble fast_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, without a fused multiply-add: both factors split into
// halves of 26 bits (Veltkamp), whose products are exact (Dekker).
DoubleDouble two_product(double a, double b) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double a_scaled = kSplitter * a;
    const double a_hi = a_scaled - (a_scaled - a);
    const double a_lo = a - a_hi;
    const double b_scaled = kSplitter * b;
    const double b_hi = b_scaled - (b_scaled - b);
    const double b_lo = b - b_hi;
    const double p = a * b;
    return {p, ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo};
}

// 1/n! for n = 3 .. 15: the tail of exp(r) for |r| <= ln2/2, where the
// next term is below 2^-66. 15! < 2^53, so every factorial is exact.
constexpr int kExpTailFirst = 3;
constexpr int kExpTailLast = 15;
constexpr std::array<double, kExpTailLast - kExpTailFirst + 1> kExpTail = [] {
    std::array<double, kExpTailLast - kExpTailFirst + 1> tail{};
    double factorial = 2.0;
    for (int n = kExpTailFirst; n <= kExpTailLast; ++n) {
        factorial *= n;
        tail[static_cast<std::size_t>(n - kExpTailFirst)] = 1.0 / factorial;
    }
    return tail;
}();

// exp(y) for 0.5 <= y < 44 as a double-double, to about 2^-60 relative:
// y = k ln2 + r as in reproducible_exp (k rounded half up, 1 <= k <= 63),
// but r kept to double-double precision, exp(r) = 1 + r + r^2/2 +
// r^3 (1/3! + r/4! + ...) summed exactly down to the tail, then scaled by
// 2^k exactly.
DoubleDouble exp_double_double(double y) {
    // y > 0: truncating y / ln2 + 1/2 rounds to the nearest k, halves up.
    const int k = static_cast<int>(y * kInvLn2 + 0.5);  // NOLINT(bugprone-incorrect-roundings)
    const double hi = y - k * kLn2High;                 // exact: k has at most 6 bits
    const DoubleDouble r = two_sum(hi, -(k * kLn2Low));
    double tail = kExpTail.back();
    for (std::size_t n = kExpTail.size() - 1; n-- > 0;) {
        tail = kExpTail[n] + r.hi * tail;
    }
    tail *= r.hi * r.hi * r.hi;
    const DoubleDouble square = two_product(r.hi, r.hi);
    // Everything below the leading half square, r.lo's share of r^2 included.
    const double small = tail + (0.5 * square.lo + r.hi * r.lo);
    const DoubleDouble quadratic = two_sum(0.5 * square.hi, small);
    const DoubleDouble linear = two_sum(r.hi, quadratic.hi);
    const DoubleDouble whole = two_sum(1.0, linear.hi);
    const DoubleDouble sum = fast_two_sum(whole.hi, whole.lo + (linear.lo + (quadratic.lo + r.lo)));
    const auto power = static_cast<double>(std::uint64_t{1} << k);
    return {sum.hi * power, sum.lo * power};
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

double reproducible_log(double x) {
    if (std::isnan(x) || x < 0.0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (x == 0.0) {
        return -std::numeric_limits<double>::infinity();
    }
    if (std::isinf(x)) {
        return x;
    }
    int k = 0;
    if (x < std::numeric_limits<double>::min()) {
        k = -54;
        x *= kTwo54;  // subnormal: scale into the normal range, exactly
    }
    const std::uint64_t bits = bits_of(x);
    auto high = static_cast<std::uint32_t>(bits >> 32);
    k += static_cast<int>(high >> 20) - 1023;
    high &= 0x000fffffu;
    // Halve the mantissa when it lies above sqrt(2), so that 1 + f lies
    // within [sqrt(2)/2, sqrt(2)).
    const std::uint32_t above = (high + 0x95f64u) & 0x100000u;
    k += static_cast<int>(above >> 20);
    const std::uint64_t normalised =
        (static_cast<std::uint64_t>(high | (above ^ 0x3ff00000u)) << 32) | (bits & 0xffffffffu);
    const double f = from_bits(normalised) - 1.0;
    const double dk = k;
    if ((0x000fffffu & (2u + high)) < 3u) {  // |f| < 2^-20
        if (f == 0.0) {
            return dk * kLn2High + dk * kLn2Low;
        }
        const double r = f * f * (0.5 - 0.33333333333333333 * f);
        return dk * kLn2High - ((r - dk * kLn2Low) - f);
    }
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (kLogLg2 + w * (kLogLg4 + w * kLogLg6));
    const double t2 = z * (kLogLg1 + w * (kLogLg3 + w * (kLogLg5 + w * kLogLg7)));
    const double r = t2 + t1;
    const auto h = static_cast<std::int32_t>(high);
    if (((h - 0x6147a) | (0x6b851 - h)) > 0) {  // f far enough from 0 for f^2/2 apart
        const double half_square = 0.5 * f * f;
        return dk * kLn2High - ((half_square - (s * (half_square + r) + dk * kLn2Low)) - f);
    }
    return dk * kLn2High - ((s * (f - r) - dk * kLn2Low) - f);
}

double reproducible_erfc(double x) {
    if (std::isnan(x)) {
        return x;
    }
    const double magnitude = std::fabs(x);
    if (magnitude < 0.84375) {
        if (magnitude < 0x1p-56) {
            return 1.0 - x;
        }
        const double z = x * x;
        const double y = polynomial(kErfPp, z) / one_plus(kErfQq, z);
        if (x < 0.25) {
            return 1.0 - (x + x * y);
        }
        return 0.5 - (x * y + (x - 0.5));
    }
    if (magnitude < 1.25) {
        const double s = magnitude - 1.0;
        const double ratio = polynomial(kErfPa, s) / one_plus(kErfQa, s);
        return x >= 0.0 ? (1.0 - kErx) - ratio : 1.0 + (kErx + ratio);
    }
    if (magnitude >= 28.0) {
        return x > 0.0 ? 0.0 : 2.0;
    }
    if (x <= -6.0) {
        return 2.0;  // 2 - erfc(6) rounds to 2
    }
    const double s = 1.0 / (magnitude * magnitude);
    double r = 0.0;
    double q = 0.0;
    if (bits_of(magnitude) >> 32 < 0x4006db6du) {  // |x| below about 1/0.35
        r = polynomial(kErfcRa, s);
        q = one_plus(kErfcSa, s);
    } else {
        r = polynomial(kErfcRb, s);
        q = one_plus(kErfcSb, s);
    }
    // exp(-x^2) as exp(-z^2) exp((z - x)(z + x)), z being x cut to its high
    // 21 mantissa bits, so that z^2 is exact.
    const double z = from_bits(bits_of(magnitude) & 0xffffffff00000000u);
    const double tail = reproducible_exp(-z * z - 0.5625) *
                        reproducible_exp((z - magnitude) * (z + magnitude) + r / q);
    return x > 0.0 ? tail / magnitude : 2.0 - tail / magnitude;
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

// Three ranges: the Taylor series of tanh for |x| < 1/4, where its value is
// x plus a correction of at most 1/48 of x, so the rounding of the
// correction hardly matters; (e - 1) / (e + 1) with e = exp(2|x|) in
// double-double arithmetic up to 22, rounded once at the end; and +-1
// beyond. Each keeps the error within about half a unit in the last place.
double reproducible_tanh(double x) {
    if (std::isnan(x)) {
        return x;
    }
    const double magnitude = std::fabs(x);
    if (magnitude < kTanhIdentityLimit) {
        return x;  // +-0 and subnormals included
    }
    if (magnitude < kTanhSeriesLimit) {
        const double z = x * x;
        double p = kTanhSeries[std::size(kTanhSeries) - 1];
        for (std::size_t k = std::size(kTanhSeries) - 1; k-- > 0;) {
            p = kTanhSeries[k] + z * p;
        }
        return x + x * (z * p);
    }
    if (magnitude >= kTanhSaturation) {
        return std::copysign(1.0, x);
    }
    const DoubleDouble e = exp_double_double(2.0 * magnitude);
    DoubleDouble numerator = two_sum(e.hi, -1.0);
    numerator = fast_two_sum(numerator.hi, numerator.lo + e.lo);
    DoubleDouble denominator = two_sum(e.hi, 1.0);
    denominator = fast_two_sum(denominator.hi, denominator.lo + e.lo);
    // One Newton step of the quotient: q + (n - q d) / d, with q d exact.
    const double q = numerator.hi / denominator.hi;
    const DoubleDouble qd = two_product(q, denominator.hi);
    const double remainder = (((numerator.hi - qd.hi) - qd.lo) + numerator.lo) - q * denominator.lo;
    return std::copysign(q + remainder / denominator.hi, x);
}

}  // namespace ami
