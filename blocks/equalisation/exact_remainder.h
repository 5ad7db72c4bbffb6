// fmod(x, y) without the cost of the system's generic algorithm, for the
// arguments of a clock: x a time of many periods y.
//
// The remainder x - n y with n = trunc(x / y) is always exactly
// representable. With n from the rounded quotient (the true one or one
// more) and the product n y held exactly as p + e (Dekker's product,
// without fused multiply-add), r = (x - p) - e is that remainder exactly:
// x - p is exact by Sterbenz's lemma and the final difference is
// representable. One too many shows as r < 0, the sign of the exact value,
// and is corrected. Other arguments go to std::fmod; the result is the same
// double in every case.
#ifndef AMI_BLOCKS_EQUALISATION_EXACT_REMAINDER_H
#define AMI_BLOCKS_EQUALISATION_EXACT_REMAINDER_H

#include <cmath>

namespace ami {

namespace remainder_detail {

struct Split {
    double high;
    double low;
};

// a = high + low, each with at most 26 significant bits.
inline Split split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double high = c - (c - a);
    return {high, a - high};
}

// x - n y exactly, given y split.
inline double remainder_for(double x, double n, double y, Split ys) {
    const double p = n * y;
    const Split ns = split(n);
    const double e =
        ((ns.high * ys.high - p) + ns.high * ys.low + ns.low * ys.high) + ns.low * ys.low;
    return (x - p) - e;
}

}  // namespace remainder_detail

inline double exact_remainder(double x, double y) {
    using remainder_detail::remainder_for;
    // Ranges where the products can neither overflow nor lose bits below
    // the smallest normal number, and n is a whole number below 2^52.
    if (!(x >= 0 && x < 0x1p900 && y > 0x1p-900 && y < 0x1p900)) {
        return std::fmod(x, y);
    }
    if (x < y) {
        return x;
    }
    const double quotient = x / y;
    if (!(quotient < 0x1p52)) {
        return std::fmod(x, y);
    }
    // The rounded quotient is never below the true one (rounding is
    // monotonic and trunc(x / y) is representable), so n is the true
    // quotient or one more, which gives a negative r.
    const double n = std::floor(quotient);
    const remainder_detail::Split ys = remainder_detail::split(y);
    const double r = remainder_for(x, n, y, ys);
    return r < 0 ? remainder_for(x, n - 1, y, ys) : r;
}

}  // namespace ami

#endif  // AMI_BLOCKS_EQUALISATION_EXACT_REMAINDER_H
