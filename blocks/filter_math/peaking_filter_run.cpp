// Running the peaking filter over sample blocks, and its release.
//
// Each output sample is the direct-form recursion
//   y(t) = b0 x(t) + sum over j = P .. 1 of (bj x(t-j) + aj y(t-j)),
// accumulated from the oldest term to the newest. The histories in the
// record hold P + 1 past inputs and outputs (entry 0 the most recent). For
// the usual pole counts the block runs with both histories in local
// variables and stores them back once at its end, which computes the same
// values in the same order as shifting the record's arrays every sample.
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "common/contract.h"

namespace {

// Largest pole count with a kernel specialised on it.
constexpr int kLargestSpecialisedPoleCount = 12;

template <int P>
void run_specialised(const double *input, int32_t sample_count, const double *numer,
                     const double *denom, double *peak_in, double *peak_out, double *output) {
    double b[P + 1];
    double a[P + 1];  // a[j] multiplies y(t - j); a[0] is unused
    double x_past[P + 1];
    double y_past[P + 1];
#pragma GCC unroll 16
    for (int j = 0; j <= P; ++j) {
        b[j] = numer[j];
        a[j] = j == 0 ? 0.0 : denom[j - 1];
        x_past[j] = peak_in[j];
        y_past[j] = peak_out[j];
    }
    for (int32_t t = 0; t < sample_count; ++t) {
        const double x = input[t];
        double y = b[0] * x;
        // At this point x_past[j - 1] = x(t - j) and y_past[j - 1] = y(t - j).
#pragma GCC unroll 16
        for (int j = P; j >= 1; --j) {
            y = (b[j] * x_past[j - 1] + a[j] * y_past[j - 1]) + y;
        }
#pragma GCC unroll 16
        for (int j = P; j >= 1; --j) {
            x_past[j] = x_past[j - 1];
            y_past[j] = y_past[j - 1];
        }
        x_past[0] = x;
        y_past[0] = y;
        output[t] = y;
    }
#pragma GCC unroll 16
    for (int j = 0; j <= P; ++j) {
        peak_in[j] = x_past[j];
        peak_out[j] = y_past[j];
    }
}

// Any pole count: the recursion on the record's arrays, shifting both
// histories one place per sample.
void run_in_place(const double *input, int32_t sample_count, int32_t pole_count,
                  const double *numer, const double *denom, double *peak_in, double *peak_out,
                  double *output) {
    for (int32_t t = 0; t < sample_count; ++t) {
        const double x = input[t];
        if (pole_count <= 0) {
            peak_out[0] = numer[0] * x;
        } else {
            for (int32_t j = pole_count - 1; j >= 0; --j) {
                peak_out[j + 1] = peak_out[j];
            }
            peak_out[0] = numer[0] * x;
            for (int32_t j = pole_count; j >= 1; --j) {
                peak_out[0] =
                    (numer[j] * peak_in[j - 1] + denom[j - 1] * peak_out[j]) + peak_out[0];
                peak_in[j] = peak_in[j - 1];
            }
        }
        peak_in[0] = x;
        output[t] = peak_out[0];
    }
}

template <int P>
void run_block(const double *input, int32_t sample_count, int32_t pole_count, const double *numer,
               const double *denom, double *peak_in, double *peak_out, double *output) {
    if (pole_count == P) {
        run_specialised<P>(input, sample_count, numer, denom, peak_in, peak_out, output);
    } else if constexpr (P > 1) {
        run_block<P - 1>(input, sample_count, pole_count, numer, denom, peak_in, peak_out, output);
    } else {
        run_in_place(input, sample_count, pole_count, numer, denom, peak_in, peak_out, output);
    }
}

void clear(double *history, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
        history[j] = 0.0;
    }
}

}  // namespace

void ApplyPeakingFilter(const double *input, int32_t sample_count, PeakingFilter filt,
                        int32_t index, int32_t reset, double *output) {
    if (filt.filter_count <= 0) {
        for (int32_t t = 0; t < sample_count; ++t) {
            output[t] = input[t];
        }
        return;
    }
    AMI_REQUIRE(filt.peak_in != nullptr, ami::sites::kPeakingInputHistory);
    AMI_REQUIRE(filt.peak_out != nullptr, ami::sites::kPeakingOutputHistory);
    // A negative index selects configuration 0, like one past the end.
    const int32_t selected = index >= 0 && index < filt.filter_count ? index : 0;
    if (reset != 0) {
        clear(filt.peak_in, filt.coef_count);
        clear(filt.peak_out, filt.coef_count);
    }
    if (sample_count > 0) {
        run_block<kLargestSpecialisedPoleCount>(input, sample_count, filt.coef_count - 1,
                                                filt.numer[selected], filt.denom[selected],
                                                filt.peak_in, filt.peak_out, output);
    }
    if (reset != 0) {
        clear(filt.peak_in, filt.coef_count);
        clear(filt.peak_out, filt.coef_count);
    }
}

void DeletePeakingFilter(PeakingFilter filt) {
    for (int32_t i = 0; i < filt.filter_count; ++i) {
        if (filt.configs != nullptr) {
            std::free(filt.configs[i].poles);
            std::free(filt.configs[i].residues);
        }
        if (filt.numer != nullptr) {
            std::free(filt.numer[i]);
        }
        if (filt.denom != nullptr) {
            std::free(filt.denom[i]);
        }
    }
    std::free(filt.configs);
    std::free(filt.peak_in);
    std::free(filt.peak_out);
    std::free(filt.numer);
    std::free(filt.denom);
}
