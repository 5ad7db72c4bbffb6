// Design of the peaking filter: every pole with its scaled residue becomes a
// first-order section r(1 - h)(1 + h z^-1) / (1 - h^2 z^-1), h = e^(pT/2),
// and the sections of a configuration are summed over a common denominator.
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/filter_math/complex_operations.h"

namespace {

// Zeroed memory for count elements; at least one element, so that a null
// result always means the allocation failed.
template <typename T>
T *allocate_zeroed(int32_t count) {
    const std::size_t elements = count > 0 ? static_cast<std::size_t>(count) : 1U;
    return static_cast<T *>(std::calloc(elements, sizeof(T)));
}

bool fill_config(FilterConfig *config, int32_t pole_count, int32_t index, double gain,
                 const Complex *poles, const Complex *residues) {
    config->index = index;
    config->pole_count = pole_count;
    config->poles = allocate_zeroed<Complex>(pole_count);
    config->residues = allocate_zeroed<Complex>(pole_count);
    if (config->poles == nullptr || config->residues == nullptr) {
        std::free(config->poles);
        std::free(config->residues);
        config->poles = nullptr;
        config->residues = nullptr;
        return false;
    }
    const Complex scale = ami::make_complex(gain, 0.0);
    for (int32_t k = 0; k < pole_count; ++k) {
        config->poles[k] = poles[k];
        config->residues[k] = ami::multiply(residues[k], scale);
    }
    return true;
}

// The three complex work polynomials of the design, length L each.
struct WorkPolynomials {
    Complex *numerator;    // N
    Complex *denominator;  // D
    Complex *scratch;      // S
};

// Sums the sections of one configuration into N/D and writes the real parts
// of the coefficients after every processed pole. The coefficient arrays
// start zeroed, so a configuration that processes no pole is the zero
// numerator over the denominator 1. Returns false if memory ran out.
bool design_config(const FilterConfig &config, double sample_interval, int32_t length,
                   const WorkPolynomials &work, double *numer, double *denom) {
    const Complex zero = ami::make_complex(0.0, 0.0);
    for (int32_t j = 0; j < length; ++j) {
        work.numerator[j] = zero;
        work.scratch[j] = zero;
        work.denominator[j] = zero;
    }
    work.denominator[0] = ami::make_complex(1.0, 0.0);

    const Complex one = ami::make_complex(1.0, 0.0);
    const Complex minus_interval = ami::make_complex(-sample_interval, 0.0);
    for (int32_t k = 0; k < config.pole_count; ++k) {
        const Complex pole = config.poles[k];
        const Complex residue = config.residues[k];
        if (residue.re == 0.0 && residue.im == 0.0) {
            break;  // the rest of this configuration's poles are unused
        }
        const Complex q = ami::multiply(pole, minus_interval);
        const Complex half_step = ami::exponential(ami::divide(q, ami::make_complex(-2.0, 0.0)));
        const Complex full_step = ami::exponential(ami::divide(q, ami::make_complex(-1.0, 0.0)));
        const Complex section_numer[2] = {
            ami::multiply(residue, ami::subtract(one, half_step)),
            ami::multiply(residue, ami::subtract(half_step, full_step))};
        const Complex section_denom[2] = {one,
                                          ami::multiply(ami::make_complex(-1.0, 0.0), full_step)};

        // N/D + n/d = (N d + D n) / (D d)
        for (int32_t j = 0; j < length; ++j) {
            work.scratch[j] = work.denominator[j];
        }
        if (!ami::checked_complex_product(work.numerator, length, section_denom, 2) ||
            !ami::checked_complex_product(work.denominator, length, section_denom, 2) ||
            !ami::checked_complex_product(work.scratch, length, section_numer, 2)) {
            return false;
        }
        CPolyAdd(work.numerator, length, work.scratch, length);

        for (int32_t j = 0; j < length; ++j) {
            numer[j] = work.numerator[j].re;
        }
        for (int32_t j = 0; j + 1 < length; ++j) {
            denom[j] = -(work.denominator[j + 1].re);
        }
    }
    return true;
}

PeakingFilter empty_filter() {
    PeakingFilter filter{};
    return filter;
}

}  // namespace

void SetupFilterConfig(FilterConfig *config, int32_t pole_count, int32_t index, double gain,
                       const Complex *poles, const Complex *residues, char * /*msg*/,
                       int32_t /*msg_size*/) {
    (void)fill_config(config, pole_count, index, gain, poles, residues);
}

PeakingFilter SetupPeakingFilter(double sample_interval, int32_t pole_count, int32_t filter_count,
                                 Complex *const *poles, Complex *const *residues,
                                 const double *gains, char * /*msg*/, int32_t /*msg_size*/) {
    const int32_t count = filter_count > 0 ? filter_count : 0;
    const int32_t length = pole_count + 1;

    // Built in a record whose unset pointers are null, so that a failure at
    // any point releases exactly what exists.
    PeakingFilter filter = empty_filter();
    filter.filter_count = count;
    filter.coef_count = length;
    filter.configs = allocate_zeroed<FilterConfig>(count);
    filter.numer = allocate_zeroed<double *>(count);
    filter.denom = allocate_zeroed<double *>(count);
    bool complete = filter.configs != nullptr && filter.numer != nullptr && filter.denom != nullptr;
    for (int32_t i = 0; complete && i < count; ++i) {
        complete = fill_config(&filter.configs[i], pole_count, i, gains[i], poles[i], residues[i]);
    }
    if (complete) {
        filter.peak_in = allocate_zeroed<double>(length);
        filter.peak_out = allocate_zeroed<double>(length);
        complete = filter.peak_in != nullptr && filter.peak_out != nullptr;
    }

    WorkPolynomials work{nullptr, nullptr, nullptr};
    if (complete) {
        work.numerator = allocate_zeroed<Complex>(length);
        work.denominator = allocate_zeroed<Complex>(length);
        work.scratch = allocate_zeroed<Complex>(length);
        complete =
            work.numerator != nullptr && work.denominator != nullptr && work.scratch != nullptr;
    }
    for (int32_t i = 0; complete && i < count; ++i) {
        filter.numer[i] = allocate_zeroed<double>(length);
        filter.denom[i] = allocate_zeroed<double>(length - 1);
        complete = filter.numer[i] != nullptr && filter.denom[i] != nullptr &&
                   design_config(filter.configs[i], sample_interval, length, work, filter.numer[i],
                                 filter.denom[i]);
    }
    std::free(work.numerator);
    std::free(work.denominator);
    std::free(work.scratch);

    if (!complete) {
        DeletePeakingFilter(filter);
        return empty_filter();
    }
    return filter;
}
