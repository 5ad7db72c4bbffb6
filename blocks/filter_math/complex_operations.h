// The complex operations as inline functions for the library's own use, so
// the filter design computes exactly what the exported functions compute
// without calling through the exported symbols.
#ifndef AMI_BLOCKS_COMPLEX_OPERATIONS_H
#define AMI_BLOCKS_COMPLEX_OPERATIONS_H

#include <cmath>

#include "Kestrom_AMI_Model.h"
#include "common/contract.h"
#include "common/reproducible_math.h"

namespace ami {

inline Complex make_complex(double re, double im) {
    Complex z;
    z.re = re;
    z.im = im;
    return z;
}

inline Complex add(Complex a, Complex b) {
    return make_complex(a.re + b.re, a.im + b.im);
}

inline Complex subtract(Complex a, Complex b) {
    return make_complex(a.re - b.re, a.im - b.im);
}

inline Complex multiply(Complex a, Complex b) {
    return make_complex(a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re);
}

inline Complex divide(Complex a, Complex b) {
    const double b_mag = b.re * b.re + b.im * b.im;
    AMI_REQUIRE(b_mag != 0.0, sites::kComplexDivisionByZero);
    return make_complex((a.re * b.re + a.im * b.im) / b_mag, (a.im * b.re - a.re * b.im) / b_mag);
}

// The elementary functions are the library's own, so that the i386 and
// x86-64 builds design bit-identical filters.
inline Complex exponential(Complex z) {
    const double magnitude = reproducible_exp(z.re);
    return make_complex(magnitude * reproducible_cos(z.im), magnitude * reproducible_sin(z.im));
}

// a = a * b truncated to na coefficients, with the scratch on the heap.
// Returns false, leaving a unchanged, when the scratch cannot be allocated.
bool checked_complex_product(Complex *a, int32_t na, const Complex *b, int32_t nb);

}  // namespace ami

#endif  // AMI_BLOCKS_COMPLEX_OPERATIONS_H
