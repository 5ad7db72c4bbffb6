// The equalisation and clock-recovery blocks transcribed step by step,
// sample by sample, on the record's own cells, for the benchmarks (which
// time the library beside them) and for the tests that compare the two bit
// for bit. Valid records and arguments only: these are references, not
// defences.
#ifndef AMI_BLOCKS_EQUALISATION_EQUALISATION_LITERAL_H
#define AMI_BLOCKS_EQUALISATION_EQUALISATION_LITERAL_H

#include <cmath>
#include <cstdint>

#include "Kestrom_AMI_Model.h"

// Tx FFE: store, sum over k with the index reduced modulo L per tap,
// advance modulo L; reset after the block.
inline void literal_apply_tx_ffe(const double *input, int32_t sample_count, TxFFE ffe,
                                 int32_t reset, double *output) {
    const int32_t L = ffe.history_length;
    const int32_t S = ffe.samples_per_bit;
    const int32_t N = ffe.tap_count;
    if (sample_count > 0) {
        int32_t p = *ffe.position;
        for (int32_t j = 0; j < sample_count; ++j) {
            ffe.history[p] = input[j];
            double sum = 0.0;
            for (int32_t k = 0; k < N; ++k) {
                sum = sum + ffe.taps[k] * ffe.history[(L + p - k * S) % L];
            }
            output[j] = sum;
            p = (p + 1) % L;
        }
        *ffe.position = p;
    }
    if (reset != 0) {
        *ffe.position = 0;
        for (int32_t i = 0; i < L; ++i) {
            ffe.history[i] = 0.0;
        }
    }
}

// AGC: the level of the whole block, then the scaling.
inline void literal_apply_agc(const double *input, int32_t sample_count, AGC agc, int32_t hold,
                              double *output) {
    if (hold == 0 && sample_count != 0) {
        double squares = 0.0;
        for (int32_t i = 0; i < sample_count; ++i) {
            squares = squares + input[i] * input[i];
        }
        const double r = std::sqrt(squares / sample_count);
        *agc.level = 0.99 * *agc.level + 0.01 * r;
        *agc.gain = agc.target / *agc.level;
    }
    for (int32_t i = 0; i < sample_count; ++i) {
        output[i] = input[i] * *agc.gain;
    }
}

// DFE: copy, then either the impulse path (main cursor, auto taps, one
// correction per tap) or, per sample, the quantised feedback and the
// clamped adaptation.
inline void literal_apply_dfe(const double *input, int32_t sample_count, DFE dfe, int32_t impulse,
                              double sample_interval, const double *decisions, double *output) {
    for (int32_t j = 0; j < sample_count; ++j) {
        output[j] = input[j];
    }
    if (dfe.mode == 0) {
        return;
    }
    if (impulse != 0) {
        const int32_t N = sample_count;
        const int32_t S = dfe.samples_per_bit;
        int32_t M = 0;
        double largest = 0.0;
        for (int32_t i = 0; i < N; ++i) {
            if (std::fabs(output[i]) > largest) {
                largest = std::fabs(output[i]);
                M = i;
            }
        }
        if (dfe.mode == 2) {
            for (int32_t k = 0; k < dfe.tap_count; ++k) {
                dfe.taps[k] = -output[(M + (k + 1) * S) % N] * sample_interval * S;
            }
        }
        for (int32_t k = 0; k < dfe.tap_count; ++k) {
            const int32_t p = (M + (k + 1) * S) % N;
            output[p] = output[p] + dfe.taps[k] / sample_interval;
        }
        return;
    }
    for (int32_t j = 0; j < sample_count; ++j) {
        for (int32_t m = 0; m < dfe.tap_count; ++m) {
            const double q = dfe.tap_resolution * std::floor(dfe.taps[m] / dfe.tap_resolution);
            output[j] = output[j] + q * decisions[m];
        }
        if (dfe.mode == 2 || dfe.mode == 3) {
            for (int32_t m = 0; m < dfe.tap_count; ++m) {
                double t = dfe.taps[m] - dfe.adapt_step * output[j] * decisions[m];
                if (t < dfe.min_tap) {
                    t = dfe.min_tap;
                }
                if (t > dfe.max_tap) {
                    t = dfe.max_tap;
                }
                dfe.taps[m] = t;
            }
        }
    }
}

inline double literal_slice(double v) {
    return v > 0 ? 0.5 : -0.5;
}

// CDR: steps 1 to 5 of the loop for every sample, on the cells.
inline int32_t literal_apply_cdr(const double *input, int32_t sample_count, CDR cdr,
                                 double sample_interval, int32_t clock_index, double *clock_times) {
    const int32_t S = cdr.samples_per_bit;
    const double dt = sample_interval;
    const double U = S * dt;
    if (clock_times[clock_index] > 0) {
        *cdr.next_reference = clock_times[clock_index];
        clock_times[clock_index] = -1.0;
    }
    for (int32_t i = 0; i < sample_count; ++i) {
        const double x = input[i];
        const double t = *cdr.sample_index * dt + *cdr.wrap_count * (2147483647 * dt);
        const double E = *cdr.edge_timer;
        if (E < 0) {
            const double tau = t + (E + 1) * dt;
            *cdr.clock_phase = std::fmod(tau, U);
            const double H = *cdr.next_reference;
            clock_times[clock_index] = tau;
            clock_index = clock_index + 1;
            *cdr.next_reference = clock_times[clock_index];
            clock_times[clock_index] = -1.0;
            *cdr.edge_decision = literal_slice((E + 1) * x - E * *cdr.previous_sample +
                                               cdr.dfe_tap * *cdr.edge_decision);
            *cdr.retimed = *cdr.data_decision;
            for (int32_t k = cdr.decision_count - 1; k >= 1; --k) {
                cdr.decisions[k] = cdr.decisions[k - 1];
            }
            cdr.decisions[0] = *cdr.data_decision;
            *cdr.edge_timer = E + (1 + cdr.freq_offset) * S - 1;
            if (cdr.reference_clock != 0 && H > 0) {
                const double r = std::fmod(H - *cdr.last_reference + 0.5 * U, U);
                *cdr.edge_timer = *cdr.edge_timer + ((r - 0.5 * U) / U) * S;
                *cdr.last_reference = H;
            }
        } else {
            *cdr.retimed =
                E < 1 ? E * cdr.decisions[0] + (1 - E) * *cdr.data_decision : cdr.decisions[0];
            *cdr.edge_timer = E - 1;
        }
        const double D = *cdr.data_timer;
        if (D < 0) {
            *cdr.data_decision = literal_slice((D + 1) * x - D * *cdr.previous_sample +
                                               cdr.dfe_tap * cdr.decisions[0]);
            if (cdr.invert_time - U <= t && t < cdr.invert_time) {
                *cdr.data_decision = -*cdr.data_decision;
            }
            const double e = *cdr.edge_decision;
            const double p = cdr.decisions[0];
            const double d = *cdr.data_decision;
            const bool corrects = cdr.mode == 2 || cdr.mode == 3;
            if (e == p && e != d) {
                *cdr.votes = *cdr.votes + 1;
                if (corrects && *cdr.votes >= *cdr.vote_threshold) {
                    *cdr.votes = 0;
                    *cdr.edge_timer = *cdr.edge_timer + (1 + cdr.freq_offset) * cdr.phase_step * S;
                    *cdr.vote_threshold = *cdr.vote_threshold + 1 < cdr.max_threshold
                                              ? *cdr.vote_threshold + 1
                                              : cdr.max_threshold;
                }
            } else if (e != p && e == d) {
                *cdr.votes = *cdr.votes - 1;
                if (corrects && *cdr.votes <= -*cdr.vote_threshold) {
                    *cdr.votes = 0;
                    *cdr.edge_timer = *cdr.edge_timer - (1 + cdr.freq_offset) * cdr.phase_step * S;
                    *cdr.vote_threshold = *cdr.vote_threshold + 1 < cdr.max_threshold
                                              ? *cdr.vote_threshold + 1
                                              : cdr.max_threshold;
                }
            }
            *cdr.data_timer = *cdr.edge_timer + *cdr.data_offset;
        } else {
            *cdr.data_timer = D - 1;
        }
        *cdr.previous_sample = x;
        *cdr.sample_index = *cdr.sample_index + 1;
        if (*cdr.sample_index == 2147483647) {
            *cdr.sample_index = 0;
            *cdr.wrap_count = *cdr.wrap_count + 1;
        }
    }
    return clock_index;
}

#endif  // AMI_BLOCKS_EQUALISATION_EQUALISATION_LITERAL_H
