// Sums and truncated products of real and complex polynomials, in place on
// the first operand.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/filter_math/complex_operations.h"

namespace {

void accumulate_product(double &sum, double a, double b) {
    sum = sum + a * b;
}

void accumulate_product(Complex &sum, Complex a, Complex b) {
    sum = ami::add(sum, ami::multiply(a, b));
}

// a = a * b truncated to na coefficients. Coefficient k collects a[i] * b[k - i]
// in increasing i; the result is written over a only once complete, so b may
// alias a. Returns false, leaving a unchanged, when the scratch cannot be had.
template <typename T>
bool truncated_product(T *a, int32_t na, const T *b, int32_t nb) {
    if (na <= 0) {
        return true;
    }
    auto *scratch = static_cast<T *>(std::calloc(static_cast<std::size_t>(na), sizeof(T)));
    if (scratch == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < na; ++i) {
        const int32_t terms = std::min(nb, na - i);
        for (int32_t j = 0; j < terms; ++j) {
            accumulate_product(scratch[i + j], a[i], b[j]);
        }
    }
    std::copy(scratch, scratch + na, a);
    std::free(scratch);
    return true;
}

}  // namespace

namespace ami {

bool checked_complex_product(Complex *a, int32_t na, const Complex *b, int32_t nb) {
    return truncated_product(a, na, b, nb);
}

}  // namespace ami

void PolyAdd(double *a, int32_t na, const double *b, int32_t nb) {
    const int32_t count = std::min(na, nb);
    for (int32_t k = 0; k < count; ++k) {
        a[k] = a[k] + b[k];
    }
}

void CPolyAdd(Complex *a, int32_t na, const Complex *b, int32_t nb) {
    const int32_t count = std::min(na, nb);
    for (int32_t k = 0; k < count; ++k) {
        a[k] = ami::add(b[k], a[k]);
    }
}

void PolyMult(double *a, int32_t na, const double *b, int32_t nb) {
    (void)truncated_product(a, na, b, nb);
}

void CPolyMult(Complex *a, int32_t na, const Complex *b, int32_t nb) {
    (void)ami::checked_complex_product(a, na, b, nb);
}
