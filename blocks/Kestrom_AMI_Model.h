/*
 * Kestrom_AMI_Model: building blocks for link models: complex arithmetic and
 * polynomials, and the peaking (pre-emphasis) filter.
 *
 * Blocks are plain records passed by value. Everything that changes from
 * call to call lives in heap memory the record points to, so every copy of a
 * record shares one state; the block's Delete function frees it.
 */
#ifndef KESTROM_AMI_MODEL_H
#define KESTROM_AMI_MODEL_H

#include <stdint.h>

#include "common/ami_api.h"

AMI_EXTERN_C_BEGIN

/* A complex number, passed by value. */
typedef struct Complex {
    double re;
    double im;
} Complex;

/* One configuration of a peaking filter: its own copy of the poles and the
 * residues already multiplied by the configuration's gain. */
typedef struct FilterConfig {
    int32_t index;      /* position among the configurations */
    int32_t pole_count; /* P */
    Complex *poles;     /* P poles, rad/s */
    Complex *residues;  /* P scaled residues */
} FilterConfig;

/* A set of recursive filters, one per configuration, sharing one pair of
 * histories. Configuration i filters with
 *   y(t) = sum_{j=0..P} numer[i][j] x(t-j) + sum_{j=1..P} denom[i][j-1] y(t-j).
 */
typedef struct PeakingFilter {
    int32_t filter_count; /* number of configurations */
    FilterConfig *configs;
    int32_t coef_count; /* P + 1 */
    double *peak_in;    /* coef_count past inputs, entry 0 the most recent */
    double *peak_out;   /* coef_count past outputs, entry 0 the most recent */
    double **numer;     /* filter_count arrays of coef_count feed-forward coefficients */
    double **denom;     /* filter_count arrays of coef_count - 1 feedback coefficients */
} PeakingFilter;

AMI_EXTERN_C_END

#endif /* KESTROM_AMI_MODEL_H */
