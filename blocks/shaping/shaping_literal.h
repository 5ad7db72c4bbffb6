// The shaping blocks' steps transcribed literally, for benchmarks that time
// the library beside them and first check that both agree bit for bit:
// state read from and written to the record's heap cells every sample,
// buffer indices stepped with a modulo, histories shifted through memory.
// The recursive filters also come as transcriptions that keep every state
// value in a local variable for the whole block, the best a compiler can
// do with the fixed order of additions.
#ifndef AMI_BLOCKS_SHAPING_SHAPING_LITERAL_H
#define AMI_BLOCKS_SHAPING_SHAPING_LITERAL_H

#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "common/reproducible_math.h"

inline void literal_delay(const double *input, int32_t sample_count, DelayLine line, int32_t reset,
                          double *output) {
    if (sample_count > 0) {
        int32_t p = *line.position;
        for (int32_t j = 0; j < sample_count; ++j) {
            line.buffer[p] = input[j];
            p = (p + 1) % line.length;
            output[j] = line.buffer[p];
        }
        *line.position = p;
    }
    if (reset != 0) {
        *line.position = 0;
        for (int32_t k = 0; k < line.length; ++k) {
            line.buffer[k] = 0.0;
        }
    }
}

// The slope (drop = false) and sawtooth (drop = true) steps on the fields
// both records share.
template <bool kDrop, typename Record>
void literal_running_sum(const double *input, int32_t sample_count, const Record &f,
                         double coef_drop, int32_t reset, double *output) {
    if (sample_count > 0) {
        int32_t p = *f.position;
        const int32_t length = f.length;
        for (int32_t j = 0; j < sample_count; ++j) {
            f.buffer[p] = input[j];
            const double y = f.coef_in * input[j] + *f.accumulator +
                             f.coef_tail * f.buffer[(p + 2) % length] +
                             f.coef_out * f.buffer[(p + 1) % length];
            *f.accumulator = y;
            output[j] = kDrop ? y + coef_drop * f.buffer[(p + 1) % length] : y;
            p = (p + 1) % length;
        }
        *f.position = p;
    }
    if (reset != 0) {
        *f.accumulator = 0.0;
        *f.position = 0;
        for (int32_t k = 0; k < f.length; ++k) {
            f.buffer[k] = 0.0;
        }
    }
}

inline void literal_slope(const double *input, int32_t sample_count, Slope slope, int32_t reset,
                          double *output) {
    literal_running_sum<false>(input, sample_count, slope, 0.0, reset, output);
}

inline void literal_sawtooth(const double *input, int32_t sample_count, Sawtooth sawtooth,
                             int32_t reset, double *output) {
    literal_running_sum<true>(input, sample_count, sawtooth, sawtooth.coef_drop, reset, output);
}

// The running sums with the position and the sum in local variables.
template <bool kDrop, typename Record>
void registers_running_sum(const double *input, int32_t sample_count, const Record &f,
                           double coef_drop, double *output) {
    const int32_t length = f.length;
    double *const buffer = f.buffer;
    const double coef_in = f.coef_in;
    const double coef_tail = f.coef_tail;
    const double coef_out = f.coef_out;
    int32_t p = *f.position;
    double sum = *f.accumulator;
    for (int32_t j = 0; j < sample_count; ++j) {
        const double x = input[j];
        buffer[p] = x;
        const int32_t back_n = p + 1 < length ? p + 1 : p + 1 - length;
        const int32_t back_n_less_1 = p + 2 < length ? p + 2 : p + 2 - length;
        const double oldest = buffer[back_n];
        sum = coef_in * x + sum + coef_tail * buffer[back_n_less_1] + coef_out * oldest;
        output[j] = kDrop ? sum + coef_drop * oldest : sum;
        p = back_n;
    }
    *f.position = p;
    *f.accumulator = sum;
}

inline void registers_slope(const double *input, int32_t sample_count, Slope slope,
                            int32_t /*reset*/, double *output) {
    registers_running_sum<false>(input, sample_count, slope, 0.0, output);
}

inline void registers_sawtooth(const double *input, int32_t sample_count, Sawtooth sawtooth,
                               int32_t /*reset*/, double *output) {
    registers_running_sum<true>(input, sample_count, sawtooth, sawtooth.coef_drop, output);
}

// The recursion with both histories shifted through the record's arrays.
template <int kB, int kA>
void literal_recursion(const double *input, int32_t sample_count, const double (&b)[kB],
                       const double (&a)[kA], double *input_history, double *output_history,
                       int32_t reset, double *output) {
    for (int32_t t = 0; t < sample_count; ++t) {
        for (int k = kB - 1; k >= 1; --k) {
            input_history[k] = input_history[k - 1];
        }
        input_history[0] = input[t];
        double sum = 0;
        for (int j = 0; j < kB; ++j) {
            sum += b[j] * input_history[j];
        }
        for (int j = 1; j <= kA; ++j) {
            sum += a[j - 1] * output_history[j - 1];
        }
        for (int k = kA - 1; k >= 1; --k) {
            output_history[k] = output_history[k - 1];
        }
        output_history[0] = sum;
        output[t] = sum;
    }
    if (reset != 0) {
        for (int j = 0; j < kB; ++j) {
            input_history[j] = 0.0;
        }
        for (int j = 0; j < kA; ++j) {
            output_history[j] = 0.0;
        }
    }
}

inline void literal_rise_fall(const double *input, int32_t sample_count, RiseFall f, int32_t reset,
                              double *output) {
    const double b[] = {f.b0, f.b1, f.b2};
    const double a[] = {f.a1, f.a2};
    literal_recursion(input, sample_count, b, a, f.input_history, f.output_history, reset, output);
}

inline void literal_rayleigh(const double *input, int32_t sample_count, Rayleigh f, int32_t reset,
                             double *output) {
    const double b[] = {f.b0, f.b1, f.b2, f.b3};
    const double a[] = {f.a1, f.a2, f.a3};
    literal_recursion(input, sample_count, b, a, f.input_history, f.output_history, reset, output);
}

inline void literal_triangle(const double *input, int32_t sample_count, Triangle f, int32_t reset,
                             double *output) {
    const double b[] = {f.b0, f.b1};
    const double a[] = {f.a1};
    literal_recursion(input, sample_count, b, a, f.input_history, f.output_history, reset, output);
}

// The recursions written out with every history value a local variable:
// h0, h1, ... hold x(t), x(t - 1), ... and y1, y2, ... hold y(t - 1), ....
inline void registers_rise_fall(const double *input, int32_t sample_count, RiseFall f,
                                int32_t /*reset*/, double *output) {
    double h0 = f.input_history[0];
    double h1 = f.input_history[1];
    double h2 = f.input_history[2];
    double y1 = f.output_history[0];
    double y2 = f.output_history[1];
    for (int32_t t = 0; t < sample_count; ++t) {
        h2 = h1;
        h1 = h0;
        h0 = input[t];
        const double y = 0.0 + f.b0 * h0 + f.b1 * h1 + f.b2 * h2 + f.a1 * y1 + f.a2 * y2;
        output[t] = y;
        y2 = y1;
        y1 = y;
    }
    f.input_history[0] = h0;
    f.input_history[1] = h1;
    f.input_history[2] = h2;
    f.output_history[0] = y1;
    f.output_history[1] = y2;
}

inline void registers_rayleigh(const double *input, int32_t sample_count, Rayleigh f,
                               int32_t /*reset*/, double *output) {
    double h0 = f.input_history[0];
    double h1 = f.input_history[1];
    double h2 = f.input_history[2];
    double h3 = f.input_history[3];
    double y1 = f.output_history[0];
    double y2 = f.output_history[1];
    double y3 = f.output_history[2];
    for (int32_t t = 0; t < sample_count; ++t) {
        h3 = h2;
        h2 = h1;
        h1 = h0;
        h0 = input[t];
        const double y =
            0.0 + f.b0 * h0 + f.b1 * h1 + f.b2 * h2 + f.b3 * h3 + f.a1 * y1 + f.a2 * y2 + f.a3 * y3;
        output[t] = y;
        y3 = y2;
        y2 = y1;
        y1 = y;
    }
    f.input_history[0] = h0;
    f.input_history[1] = h1;
    f.input_history[2] = h2;
    f.input_history[3] = h3;
    f.output_history[0] = y1;
    f.output_history[1] = y2;
    f.output_history[2] = y3;
}

inline void registers_triangle(const double *input, int32_t sample_count, Triangle f,
                               int32_t /*reset*/, double *output) {
    double h0 = f.input_history[0];
    double h1 = f.input_history[1];
    double y1 = f.output_history[0];
    for (int32_t t = 0; t < sample_count; ++t) {
        h1 = h0;
        h0 = input[t];
        const double y = 0.0 + f.b0 * h0 + f.b1 * h1 + f.a1 * y1;
        output[t] = y;
        y1 = y;
    }
    f.input_history[0] = h0;
    f.input_history[1] = h1;
    f.output_history[0] = y1;
}

// The table's steps: flat below and above, bisection, interpolation.
inline void literal_table(const double *input, int32_t sample_count, Table table, double *output) {
    for (int32_t i = 0; i < sample_count; ++i) {
        const double v = input[i];
        double result;
        if (table.x[0] >= v) {
            result = table.y[0];
        } else if (v > table.x[table.npts - 1]) {
            result = table.y[table.npts - 1];
        } else {
            int32_t lo = 0;
            int32_t hi = table.npts - 1;
            while (hi > lo + 1) {
                const int32_t mid = (lo + hi) / 2;
                if (table.x[mid] < v) {
                    lo = mid;
                } else {
                    hi = mid;
                }
            }
            result = ((v - table.x[lo]) * table.y[hi] + (table.x[hi] - v) * table.y[lo]) /
                     (table.x[hi] - table.x[lo]);
        }
        output[i] = result;
    }
}

// The steps through the PRBS7 waveform: scratch, fold, the nonlinearity
// sample by sample, unfold, free. The table comes by value, as the
// library's functions take it.
inline void literal_apply_table_prbs(const double *impulse, int32_t n, int32_t samples_per_bit,
                                     double sample_interval,
                                     Table table,  // cppcheck-suppress passedByValue
                                     double *output) {
    const int32_t length = 127 * samples_per_bit;
    auto *waveform = static_cast<double *>(std::malloc(sizeof(double) * length));
    I2PRBS(waveform, impulse, n, samples_per_bit, sample_interval);
    literal_table(waveform, length, table, waveform);
    PRBS2I(output, waveform, n, samples_per_bit, sample_interval);
    std::free(waveform);
}

inline void literal_pulse_table_prbs(const double *pulse, int32_t n, int32_t samples_per_bit,
                                     double sample_interval,
                                     Table table,  // cppcheck-suppress passedByValue
                                     double *output) {
    const int32_t length = 127 * samples_per_bit;
    auto *waveform = static_cast<double *>(std::malloc(sizeof(double) * length));
    P2PRBS(waveform, pulse, n, samples_per_bit, sample_interval);
    literal_table(waveform, length, table, waveform);
    PRBS2P(output, waveform, n, samples_per_bit, sample_interval);
    std::free(waveform);
}

inline void literal_apply_tanh(const double *impulse, int32_t n, int32_t samples_per_bit,
                               double sample_interval, double limit, double *output) {
    const int32_t length = 127 * samples_per_bit;
    auto *waveform = static_cast<double *>(std::malloc(sizeof(double) * length));
    I2PRBS(waveform, impulse, n, samples_per_bit, sample_interval);
    for (int32_t i = 0; i < length; ++i) {
        waveform[i] = limit * ami::reproducible_tanh(waveform[i] / limit);
    }
    PRBS2I(output, waveform, n, samples_per_bit, sample_interval);
    std::free(waveform);
}

#endif  // AMI_BLOCKS_SHAPING_SHAPING_LITERAL_H
