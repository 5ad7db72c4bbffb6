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

/* ---- Impulse, pulse and step conversions --------------------------------
 * Arrays of doubles at the sample interval T (seconds), owned by the caller;
 * a function's input and output must be distinct arrays. An impulse
 * response holds samples of the continuous response (1/s), so conversions
 * from it multiply by T and conversions to it divide by T. A pulse response
 * is the response to one bit of amplitude 1 (samples_per_bit samples of 1
 * from sample 0). With n <= 0 nothing is read or written. None of the four
 * allocates memory. */

/* Impulse response (n samples) to a centred step of 2n samples: with
 * S = T (h[0] + ... + h[n-1]), samples 0 .. n hold -S/2 and sample n + i
 * holds T (h[0] + ... + h[i-1]) - S/2. */
AMI_API void I2S(double *step, const double *impulse, int32_t n, double sample_interval);

/* Impulse response to pulse response, both n samples:
 * pulse[i] = T (h[i] + h[i-1] + ... + h[i-spb+1]), samples before 0 left
 * out, summed from h[i] backwards. samples_per_bit < 1 gives T * 0 at every
 * sample (a bit without samples). */
AMI_API void I2P(double *pulse, const double *impulse, int32_t n, int32_t samples_per_bit,
                 double sample_interval);

/* Step (2n samples, of which only the second half s = step[n .. 2n-1] is
 * read) to impulse response (n samples) by a smoothing differentiator:
 *   impulse[i] = (0.59 (s[i+1] - s[i-1]) - 0.03 (s[i+3] - s[i-3])) / T,
 * every index clamped to 0 .. n-1, so the ends repeat the first and last
 * step sample; a ramp of a per sample gives a/T away from the ends. Any
 * n >= 1 works: n = 1 gives 0, and for n < 6 the clamps keep every access
 * inside the arrays. */
AMI_API void S2I(double *impulse, const double *step, int32_t n, double sample_interval);

/* Pulse response to impulse response, both n samples: rebuilds the step
 * s[i] = p[i] + p[i-spb] + p[i-2 spb] + ... (nearest term first) and
 * differentiates it as S2I does, for any n >= 1. Inverts I2P up to the
 * differentiator's smoothing. samples_per_bit < 1 writes n zeros. */
AMI_API void P2I(double *impulse, const double *pulse, int32_t n, int32_t samples_per_bit,
                 double sample_interval);

/* ---- PRBS7 folding ---------------------------------------------------------
 * A PRBS7 waveform is one period, L = 127 samples_per_bit samples, of the
 * channel's response to the repeating 127-bit pattern 1111111010101001...
 * (d0 .. d6 = 1, dk = d(k-1) XOR d(k-7); 64 ones, 63 zeros) sent as +0.5 and
 * -0.5; bit k starts at sample k samples_per_bit, indices wrap modulo L.
 * T is the last argument of every function; P2PRBS and PRBS2P do not use
 * it. Edge cases, for all six:
 * - samples_per_bit < 1: there is no period; the folds write nothing, the
 *   unfolds write n zeros.
 * - n <= 0: the folds give L zeros (the fold of nothing), the unfolds write
 *   nothing.
 * - n < L: the unfolds unfold the period as for n = L and return its first
 *   n samples (a response that short folds into them).
 * - Scratch memory that cannot be allocated, or samples_per_bit above
 *   5 636 440 (a three-period waveform beyond 2^31 - 1 samples): the
 *   unfolds write n zeros, I2PRBS writes L zeros, I2PRBS7 hands back no
 *   waveform. */

/* Folds a pulse response of n samples into L samples:
 * waveform[(j + k spb) mod L] += level_k pulse[j], for any n (a response
 * longer than L wraps onto itself). Allocates nothing. */
AMI_API void P2PRBS(double *waveform, const double *pulse, int32_t n, int32_t samples_per_bit,
                    double sample_interval);

/* Unfolds L waveform samples into an n-sample pulse response: the
 * correlation with the pattern, which inverts P2PRBS on the pulse response
 * folded modulo L; for n > L the period laid out from 12 bits before its
 * peak, followed by repeats of one bit; then the baseline (the mean of the
 * last 16 bits) and the difference of a bit-spaced and a sample-spaced
 * parabolic average subtracted. */
AMI_API void PRBS2P(double *pulse, const double *waveform, int32_t n, int32_t samples_per_bit,
                    double sample_interval);

/* I2P, then P2PRBS. */
AMI_API void I2PRBS(double *waveform, const double *impulse, int32_t n, int32_t samples_per_bit,
                    double sample_interval);

/* PRBS2P, then P2I. */
AMI_API void PRBS2I(double *impulse, const double *waveform, int32_t n, int32_t samples_per_bit,
                    double sample_interval);

/* Makes a three-period waveform (3L samples, three copies of the I2PRBS
 * waveform) of the impulse response rotated by a shift towards later
 * samples: the shift is the peak's index (the first largest |h|, 0 for
 * n <= 0), less 4 bits when it lies beyond 8 bits. Stores the malloc'ed
 * waveform in *waveform_place, 3L in *length_place and the shift in
 * *shift_place; hand all three to PRBS72I, which frees the waveform, after
 * processing the 3L samples. Without a waveform (samples_per_bit < 1, no
 * memory) *waveform_place is null and *length_place 0; the shift is then 0
 * for samples_per_bit < 1. A null place is skipped (a waveform without a
 * place is freed at once). */
AMI_API void I2PRBS7(double **waveform_place, const double *impulse, int32_t n,
                     int32_t samples_per_bit, int32_t *length_place, int32_t *shift_place,
                     double sample_interval);

/* Unfolds the middle period of the three-period waveform in
 * *waveform_place with PRBS2I, undoes the rotation
 * (impulse[i] = unfolded[(shift + i) mod n], any shift taken modulo n) and
 * frees the waveform; *waveform_place is left as it was and must not be
 * used again. A null waveform (or waveform place) gives n zeros; a null
 * shift place counts as shift 0. */
AMI_API void PRBS72I(double *impulse, double *const *waveform_place, int32_t n,
                     int32_t samples_per_bit, const int32_t *shift_place, double sample_interval);

/* ---- Eye and error metrics -----------------------------------------------
 * MAX, PDA and SNR start from an impulse response of n samples, convert it
 * to its pulse response p as I2P does, and take its main cursor m: the
 * first sample of largest |p| (0 when every |p| is 0). The cursors one bit
 * apart are p[(m + k spb) mod n] for k = 1, 2, ... while k spb < n; the
 * index wraps, so cursors before the main one come after the wrap. None of
 * the four allocates memory. n <= 0 or samples_per_bit < 1 (no pulse
 * response) gives 0. */

/* (v[0]^2 + ... + v[n-1]^2) / a / a, 0 for n <= 0. A reference a of 0 gives
 * +infinity, or 0 when every value is 0 (NaN values give NaN), without
 * dividing by zero. */
AMI_API double ErrEnergy(const double *values, int32_t n, double reference);

/* |p[m]| plus |p| at each cursor one bit apart, in order of k: the level
 * reached when every interfering bit adds to the main cursor. */
AMI_API double MAX(const double *impulse, int32_t n, int32_t samples_per_bit,
                   double sample_interval);

/* The peak-distortion eye opening: |p[m]| minus |p| at each cursor one bit
 * apart, in order of k. Negative when the eye is closed. */
AMI_API double PDA(const double *impulse, int32_t n, int32_t samples_per_bit,
                   double sample_interval);

/* The energy above threshold in the window m - h .. m + h - 1 (h = spb / 2,
 * indices outside 0 .. n-1 skipped): the sum of (p[j] - threshold)^2 over
 * its samples above the threshold, divided by the noise, the sum of p[j]^2
 * over every sample outside the window. Without noise the signal times 1e9.
 * With one sample per bit the window is empty and the result 0. */
AMI_API double SNR(const double *impulse, int32_t n, int32_t samples_per_bit,
                   double sample_interval, double threshold);

/* ---- Numeric and text utilities -------------------------------------------
 * A textual list is a NUL-terminated string of entries separated by tabs,
 * line feeds, carriage returns, spaces, double quotes and commas; every
 * other byte belongs to an entry. A null text counts as empty. */

/* x rounded to the nearest int, halves away from zero (2.5 gives 3, -2.5
 * gives -3), except that -0.5 gives 0; magnitudes from 2147483647 up give
 * +-2147483647, NaN gives -1. Uses no floating-point-to-integer conversion. */
AMI_API int32_t d2i(double x);

/* The number of entries in the text (at most 2^31 - 1). */
AMI_API int32_t stringArraySize(const char *text);

/* Reads the list's numbers into a malloc'ed array that the caller frees, and
 * writes their number to *count (unless count is null). Each entry is read
 * on its own, in the C numeric locale whatever locale the caller set, as
 * "%lf" reads it: decimal or hexadecimal, inf, infinity or nan, with a sign,
 * the longest number at the entry's start (12xyz gives 12; 1e999 gives
 * infinity), leading vertical tabs and form feeds skipped; an entry that does
 * not begin with a number is skipped. At most 512 values are kept: entries
 * beyond the 512th readable one are ignored. Reading takes time linear in
 * the length of the text. No values still gives an array to free (room for
 * one double, count 0). If the array cannot be allocated the result is null
 * and the count 0; a number of 63 characters or more needs a temporary copy,
 * and without memory for it its entry is skipped. */
AMI_API double *string2DoubleArray(const char *text, int32_t *count);

AMI_EXTERN_C_END

#endif /* KESTROM_AMI_MODEL_H */
