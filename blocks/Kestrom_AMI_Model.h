/*
 * Kestrom_AMI_Model: building blocks for link models, in one section per
 * subsystem, in the order of the folders of blocks/: filter mathematics,
 * equalisation and clock recovery, channel shaping, waveforms. Each block
 * gives its record, then its Setup, Apply and Delete functions.
 *
 * Blocks are plain records passed by value. Everything that changes from
 * call to call lives in heap memory the record points to, so every copy of a
 * record shares one state; the block's Delete function frees it.
 */
#ifndef KESTROM_AMI_MODEL_H
#define KESTROM_AMI_MODEL_H

#include <stdint.h>

#include "IBIS_AMI_tree.h"

AMI_EXTERN_C_BEGIN

/* ======================================================================
 * Filter mathematics (blocks/filter_math): complex numbers, polynomials and
 * the peaking filter.
 * ====================================================================== */

/* ---- Complex numbers ---------------------------------------------------- */

/* A complex number, passed by value. */
typedef struct Complex {
    double re;
    double im;
} Complex;

AMI_API Complex cmplx(double re, double im);
/* The complex number held by two consecutive doubles, real part first. */
AMI_API Complex array2Cpx(const double *pair);
AMI_API Complex imadd(Complex a, Complex b);
/* a - b */
AMI_API Complex imsub(Complex a, Complex b);
AMI_API Complex improduct(Complex a, Complex b);
/* a / b, through the squared modulus of b, unscaled. A zero divisor aborts
 * with the assertion report "b_mag". */
AMI_API Complex imdiv(Complex a, Complex b);
AMI_API Complex imexp(Complex z);
/* sqrt(re^2 + im^2), unscaled. */
AMI_API double imabs(Complex z);

/* ---- Polynomials --------------------------------------------------------
 * Coefficient arrays with element k the coefficient of power k. Every
 * operation works in place on its first operand, which keeps its length;
 * the second operand is only read and may be the same array. */

/* a[k] += b[k] for k < min(na, nb). */
AMI_API void PolyAdd(double *a, int32_t na, const double *b, int32_t nb);
AMI_API void CPolyAdd(Complex *a, int32_t na, const Complex *b, int32_t nb);
/* a = a * b truncated to na coefficients. a is left unchanged if the
 * product's scratch memory cannot be allocated. */
AMI_API void PolyMult(double *a, int32_t na, const double *b, int32_t nb);
AMI_API void CPolyMult(Complex *a, int32_t na, const Complex *b, int32_t nb);

/* ---- Peaking filter ------------------------------------------------------ */

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

/* Designs filter_count configurations of pole_count poles each, for the
 * sample interval T (seconds). poles[i] and residues[i] point to the
 * pole_count poles (rad/s) and residues of configuration i; gains[i] scales
 * its residues. A configuration's pole list ends at its first zero scaled
 * residue. All inputs are copied; msg and msg_size are not used. The
 * histories start at zero; a configuration without any used pole outputs
 * zeros. If memory runs out, nothing is kept and the record returned has
 * filter_count 0 and null arrays (running it copies input to output).
 * Release the result with DeletePeakingFilter. */
AMI_API PeakingFilter SetupPeakingFilter(double sample_interval, int32_t pole_count,
                                         int32_t filter_count, Complex *const *poles,
                                         Complex *const *residues, const double *gains, char *msg,
                                         int32_t msg_size);

/* Fills one configuration: copies the poles and stores the residues times
 * gain. On allocation failure both arrays are left null. */
AMI_API void SetupFilterConfig(FilterConfig *config, int32_t pole_count, int32_t index, double gain,
                               const Complex *poles, const Complex *residues, char *msg,
                               int32_t msg_size);

/* Filters sample_count samples with configuration index (0 for an index
 * outside 0 .. filter_count - 1), continuing from the shared histories.
 * With reset non-zero the block runs from zero histories and leaves them
 * zero. input and output may be the same array. */
AMI_API void ApplyPeakingFilter(const double *input, int32_t sample_count, PeakingFilter filt,
                                int32_t index, int32_t reset, double *output);

/* Frees every array the design allocated. No copy of the record may be used
 * afterwards. */
AMI_API void DeletePeakingFilter(PeakingFilter filt);

/* ======================================================================
 * Equalisation and clock recovery (blocks/equalisation): control modes,
 * transmit FFE, automatic gain control, DFE, CDR.
 * ====================================================================== */

/* ======================================================================
 * Channel shaping (blocks/shaping): delay line, slope and sawtooth,
 * rise/fall, Rayleigh and triangle filters, lookup table and tanh.
 * ====================================================================== */

/* ======================================================================
 * Waveforms (blocks/waveforms): impulse, pulse and step conversions, PRBS7
 * folding, eye and error metrics, numeric and text utilities.
 * ====================================================================== */

AMI_EXTERN_C_END

#endif /* KESTROM_AMI_MODEL_H */
