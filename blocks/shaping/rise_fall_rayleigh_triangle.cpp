// The rise/fall, Rayleigh and triangle filters: small recursive filters
// with all poles at one real point exp(-r).
//
// Every sample sums, from 0, b_j x(t - j) for j = 0, 1, ... and then
// a_j y(t - j) for j = 1, 2, ..., in that order. A block keeps both
// histories in local variables (registers) and stores them back once at
// its end; the values and their order are those of shifting the record's
// arrays every sample.
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_common.h"
#include "common/cell_group.h"
#include "common/reproducible_math.h"

namespace {

// r as given when it is 0 or above (+infinity included); a negative or NaN
// r, which would make the filter unstable or its samples NaN, becomes
// +infinity: the limit of a vanishing time scale, as tau = 0 gives it.
double usable_ratio(double r) {
    return r >= 0.0 ? r : std::numeric_limits<double>::infinity();
}

double exp_of(double x) {
    return ami::reproducible_exp(x);
}

// Both histories, zeroed; on failure neither.
void allocate_histories(int32_t inputs, int32_t outputs, double *&input_history,
                        double *&output_history) {
    ami::CellGroup cells;
    cells.take(input_history, inputs);
    cells.take(output_history, outputs);
    (void)cells.complete();
}

// One block of y(t) = sum b[j] x(t - j) + sum a[j] y(t - 1 - j).
template <int kB, int kA>
void run_recursion(const double *input, int32_t sample_count, const double (&b)[kB],
                   const double (&a)[kA], double *input_history, double *output_history,
                   double *output) {
    double x[kB];
    double y[kA];
#pragma GCC unroll 4
    for (int j = 0; j < kB; ++j) {
        x[j] = input_history[j];
    }
#pragma GCC unroll 4
    for (int j = 0; j < kA; ++j) {
        y[j] = output_history[j];
    }
    for (int32_t t = 0; t < sample_count; ++t) {
#pragma GCC unroll 4
        for (int k = kB - 1; k > 0; --k) {
            x[k] = x[k - 1];
        }
        x[0] = input[t];
        double sum = 0.0;
#pragma GCC unroll 4
        for (int j = 0; j < kB; ++j) {
            sum += b[j] * x[j];
        }
#pragma GCC unroll 4
        for (int j = 0; j < kA; ++j) {
            sum += a[j] * y[j];
        }
#pragma GCC unroll 4
        for (int k = kA - 1; k > 0; --k) {
            y[k] = y[k - 1];
        }
        y[0] = sum;
        output[t] = sum;
    }
#pragma GCC unroll 4
    for (int j = 0; j < kB; ++j) {
        input_history[j] = x[j];
    }
#pragma GCC unroll 4
    for (int j = 0; j < kA; ++j) {
        output_history[j] = y[j];
    }
}

// Runs a block through the filter's coefficients and histories, or passes
// it through when the histories are missing; then the reset.
template <int kB, int kA>
void apply_filter(const double *input, int32_t sample_count, const double (&b)[kB],
                  const double (&a)[kA], double *input_history, double *output_history,
                  int32_t reset, double *output) {
    if (input_history == nullptr || output_history == nullptr) {
        ami::pass_through(input, sample_count, output);
        return;
    }
    if (sample_count > 0) {
        run_recursion(input, sample_count, b, a, input_history, output_history, output);
    }
    if (reset != 0) {
        ami::clear_samples(input_history, kB);
        ami::clear_samples(output_history, kA);
    }
}

}  // namespace

RiseFall SetRiseFall(double sample_interval, double tau) {
    const double r = usable_ratio(2.0 * sample_interval / tau);
    const double u = exp_of(-r / 2);
    const double g = (1.0 - u) * (1.0 - u);
    RiseFall f{};
    f.b0 = g;
    f.b1 = 2.0 * g * u;
    f.b2 = g * exp_of(-r);
    f.a1 = 2.0 * exp_of(-r);
    f.a2 = -exp_of(-2.0 * r);
    allocate_histories(3, 2, f.input_history, f.output_history);
    return f;
}

void ApplyRiseFall(const double *input, int32_t sample_count, RiseFall filter, int32_t reset,
                   double *output) {
    const double b[3] = {filter.b0, filter.b1, filter.b2};
    const double a[2] = {filter.a1, filter.a2};
    apply_filter(input, sample_count, b, a, filter.input_history, filter.output_history, reset,
                 output);
}

void DeleteRiseFall(RiseFall filter) {
    std::free(filter.input_history);
    std::free(filter.output_history);
}

Rayleigh SetRayleigh(double sample_interval, double gain, double tau) {
    const double r = usable_ratio(sample_interval / 0.431 / tau);
    const double u = exp_of(-r / 2);
    const double k = (1.0 - u) * (gain * 2.71828) * 0.5;
    const double e1 = exp_of(-r);
    const double e3_2 = exp_of(-3.0 * r / 2);
    const double e2 = exp_of(-2.0 * r);
    Rayleigh f{};
    f.b0 = k * u;
    f.b1 = k * (e1 - u - e3_2);
    f.b2 = k * (e3_2 - e1 - e2);
    f.b3 = k * e2;
    f.a1 = 3.0 * e1;
    f.a2 = -3.0 * e2;
    f.a3 = exp_of(-3.0 * r);
    allocate_histories(4, 3, f.input_history, f.output_history);
    return f;
}

void ApplyRayleigh(const double *input, int32_t sample_count, Rayleigh filter, int32_t reset,
                   double *output) {
    const double b[4] = {filter.b0, filter.b1, filter.b2, filter.b3};
    const double a[3] = {filter.a1, filter.a2, filter.a3};
    apply_filter(input, sample_count, b, a, filter.input_history, filter.output_history, reset,
                 output);
}

void DeleteRayleigh(Rayleigh filter) {
    std::free(filter.input_history);
    std::free(filter.output_history);
}

Triangle SetTriangle(double sample_interval, double gain, double tau) {
    const double r = usable_ratio(sample_interval / tau);
    const double u = exp_of(-r / 2);
    Triangle f{};
    f.b0 = gain * u;
    f.b1 = -gain * u;
    f.a1 = exp_of(-r);
    allocate_histories(2, 1, f.input_history, f.output_history);
    return f;
}

void ApplyTriangle(const double *input, int32_t sample_count, Triangle filter, int32_t reset,
                   double *output) {
    const double b[2] = {filter.b0, filter.b1};
    const double a[1] = {filter.a1};
    apply_filter(input, sample_count, b, a, filter.input_history, filter.output_history, reset,
                 output);
}

void DeleteTriangle(Triangle filter) {
    std::free(filter.input_history);
    std::free(filter.output_history);
}
