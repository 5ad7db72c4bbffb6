// Complex numbers as value records: construction and arithmetic.
#include <cmath>

#include "Kestrom_AMI_Model.h"
#include "blocks/filter_math/complex_operations.h"

Complex cmplx(double re, double im) {
    return ami::make_complex(re, im);
}

Complex array2Cpx(const double *pair) {
    return ami::make_complex(pair[0], pair[1]);
}

Complex imadd(Complex a, Complex b) {
    return ami::add(a, b);
}

Complex imsub(Complex a, Complex b) {
    return ami::subtract(a, b);
}

Complex improduct(Complex a, Complex b) {
    return ami::multiply(a, b);
}

Complex imdiv(Complex a, Complex b) {
    return ami::divide(a, b);
}

Complex imexp(Complex z) {
    return ami::exponential(z);
}

double imabs(Complex z) {
    return std::sqrt(z.re * z.re + z.im * z.im);
}
