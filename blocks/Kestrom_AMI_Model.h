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

/* ---- Control-mode keywords ------------------------------------------------ */

/* Adaptation mode of the DFE and the CDR, one of the codes below. The DFE
 * does nothing when off, applies its taps unchanged when fixed, derives its
 * taps from an impulse response in auto and adapts them on waveforms in auto
 * and adapt; the CDR corrects its phase in auto and adapt only. */
typedef int32_t ControlMode;
enum {
    CONTROL_MODE_OFF = 0,
    CONTROL_MODE_FIXED = 1,
    CONTROL_MODE_AUTO = 2,
    CONTROL_MODE_ADAPT = 3
};

/* The mode named by keyword, matched whole and byte-exact against "off",
 * "Off", "fixed", "Fixed", "auto", "Auto", "on", "On" (both auto), "adapt",
 * "Adapt". Any other keyword (a null one counts as empty) gives 0 and appends
 * "**Warning** Control mode <keyword> not recognized. Defaulting to \"off\".\n"
 * to the message buffer msg of msg_size bytes (NUL included), if the whole
 * line fits; otherwise the buffer is left as it was. Keywords of any length. */
AMI_API ControlMode GetControlMode(const char *keyword, char *msg, uint32_t msg_size);

/* Optimisation flag: "off"/"Off" 0, "on"/"On" 1. Any other keyword gives 0
 * and appends "**Error** Optimization mode <keyword> not recognized.
 * Defaulting to \"off\".\n" under the same rule as GetControlMode. */
AMI_API int32_t GetOptMode(const char *keyword, char *msg, uint32_t msg_size);

/* ---- Transmit FFE ------------------------------------------------------------ */

/* Feed-forward equaliser with taps one bit (samples_per_bit samples) apart:
 * y[n] = sum over k = 0 .. tap_count-1 of taps[k] x[n - k*samples_per_bit]. */
typedef struct TxFFE {
    int32_t samples_per_bit; /* tap spacing in samples */
    int32_t tap_count;       /* 0 for a record without arrays (see SetupTxFFE) */
    int32_t tag;             /* carried unchanged, never read */
    double *taps;            /* tap_count weights; entry k weights the sample k bits back */
    double *max_gain;        /* tap_count upper limits last installed; 1.0 after setup */
    double *min_gain;        /* tap_count lower limits last installed; -1.0 after setup */
    double *gain_step;       /* tap_count quantisation steps last installed; 1e-6 after setup */
    int32_t history_length;  /* samples_per_bit * tap_count */
    int32_t *position;       /* cell: where the next input sample goes in history */
    double *history;         /* history_length most recent inputs, circular */
} TxFFE;

/* Copies tap_count initial taps (null: all 0.0) unchanged and allocates the
 * state at rest. samples_per_bit or tap_count below 1, a history longer than
 * INT32_MAX samples, or an allocation failure give a record with tap_count 0,
 * history_length 0 and null arrays, which ApplyTxFFE copies input to output
 * with and AdvancedTxFFE leaves alone. Release with DeleteTxFFE. */
AMI_API TxFFE SetupTxFFE(int32_t samples_per_bit, int32_t tap_count, int32_t tag,
                         const double *taps);

/* Filters sample_count samples (none for 0 or less), continuing from the
 * history; input and output may be the same array. With reset non-zero the
 * state is cleared after the block: the block itself sees the old history. */
AMI_API void ApplyTxFFE(const double *input, int32_t sample_count, TxFFE ffe, int32_t reset,
                        double *output);

/* Installs per-tap limits and steps (arrays of tap_count) and brings each tap
 * into them: clamped to max_gain then min_gain, then rounded to the nearest
 * multiple of the step (halfway up). A triple that is not max > min, step > 0
 * and max - min > step (NaN included) leaves its tap and limits unchanged and
 * appends "**Warning** Invalid combination of max gain, min gain, and gain
 * step in Tx FFE.\n" through WarnPrt. */
AMI_API void AdvancedTxFFE(TxFFE ffe, const double *max_gain, const double *min_gain,
                           const double *gain_step, char *msg, uint32_t msg_size);

/* Frees taps, max_gain, min_gain, gain_step, position and history, in this
 * order. No copy of the record may be used afterwards. */
AMI_API void DeleteTxFFE(TxFFE ffe);

/* ---- Automatic gain control ---------------------------------------------------- */

/* Scales blocks towards a root-mean-square target. */
typedef struct AGC {
    double *gain;  /* cell: the factor ApplyAGC multiplies by */
    double target; /* target RMS level, never negative */
    double *level; /* cell: smoothed RMS level of the input */
} AGC;

/* target's absolute value becomes the target; gain starts at 1.0 and level
 * at the target. With samples_per_bit of 1 or more and length of 1 or more,
 * the expected RMS level of the channel's output for random bits of +-0.5
 * is estimated from its impulse response (length samples, 1/s, at
 * sample_interval seconds) and sets level and gain = target / level. A
 * samples_per_bit below 1 means no impulse response (neither it nor
 * sample_interval is read). An estimate that is zero or not finite, or whose
 * scratch memory cannot be allocated, is not used; a gain that would not be
 * finite is not stored. If the cells cannot be allocated the record has null
 * cells and ApplyAGC copies input to output. Release with DeleteAGC. */
AMI_API AGC SetupAGC(double target, const double *impulse, int32_t length, double sample_interval,
                     int32_t samples_per_bit);

/* Unless hold is non-zero, measures the block's RMS value r and updates
 * level = 0.99 level + 0.01 r and gain = target / level (once per call, so
 * the result depends on how the stream is cut). A level that would not be
 * finite (NaN or infinite samples, squares that overflow) leaves both cells
 * unchanged, and a gain that would not be finite (a level of 0) is not
 * stored: the gain keeps its last finite value. Then output = input * gain.
 * sample_count 0 or less does nothing. input and output may be the same. */
AMI_API void ApplyAGC(const double *input, int32_t sample_count, AGC agc, int32_t hold,
                      double *output);

/* Frees the gain cell, then the level cell. */
AMI_API void DeleteAGC(AGC agc);

/* ---- Decision feedback equaliser ------------------------------------------------ */

/* Taps are additive: tap k multiplies the decision of the bit k + 1 bits
 * before the current one, so a tap that cancels a positive post-cursor is
 * negative. */
typedef struct DFE {
    ControlMode mode;        /* 0 off, 1 fixed, 2 auto, 3 adapt */
    double min_tap;          /* lower limit of an adapted tap */
    double max_tap;          /* upper limit of an adapted tap (applied second) */
    double tap_resolution;   /* quantisation step of the taps on waveforms */
    double adapt_step;       /* adaptation gain on waveforms */
    int32_t samples_per_bit; /* tap spacing of the impulse path */
    int32_t tap_count;       /* 0 for a record without taps (see SetupDFE) */
    double *taps;            /* tap_count weights, shared by every copy */
} DFE;

/* Copies tap_count initial taps (null: all 0.0); mode from GetControlMode
 * (an unknown keyword appends its warning to msg and gives off). tap_count
 * below 1 or an allocation failure give tap_count 0 and null taps: the block
 * then passes samples through. Release with DeleteDFE. */
AMI_API DFE SetupDFE(int32_t tap_count, const double *taps, int32_t samples_per_bit, double min_tap,
                     double max_tap, double tap_resolution, const char *mode, double adapt_step,
                     char *msg, uint32_t msg_size);

/* Copies input to output (they may be the same array); off stops there.
 * impulse non-zero: input is an impulse response (1/s) at sample_interval
 * seconds; its main cursor is the first sample of largest magnitude, and
 * tap k corrects the sample (k + 1) * samples_per_bit after it (wrapping
 * round the response). Auto first sets every tap to minus that sample times
 * sample_interval * samples_per_bit; every mode but off then adds
 * taps[k] / sample_interval there. A response without a non-zero sample,
 * samples_per_bit below 1, or a sample_interval that is zero or not finite
 * leave it unchanged. decisions is not read.
 * impulse zero: every sample gets the sum of the quantised taps
 * resolution * floor(tap / resolution) times decisions[k] (tap_count
 * values, the same for the whole call); in auto and adapt each tap then
 * moves by -adapt_step * sample * decision and is clamped, lower limit
 * first. A resolution that is not positive and finite, or a quantised tap
 * that would not be finite, applies the tap unquantised. Null decisions
 * leave the block unchanged. sample_count 0 or less does nothing. */
AMI_API void ApplyDFE(const double *input, int32_t sample_count, DFE dfe, int32_t impulse,
                      double sample_interval, const double *decisions, double *output);

/* Frees taps. */
AMI_API void DeleteDFE(DFE dfe);

/* ---- Clock and data recovery ------------------------------------------------------ */

/* A bang-bang clock recovery loop: ticks one bit apart, edge and data samples
 * interpolated half a bit apart, sliced to +-0.5 with one feedback tap.
 * Times are in seconds, timers in samples; cells are shared by every copy. */
typedef struct CDR {
    double *clock_phase;     /* cell: latest tick time modulo the bit period */
    ControlMode mode;        /* auto (2) and adapt (3) correct the phase */
    double phase_step;       /* one correction, in bits */
    int32_t *vote_threshold; /* cell: net votes needed for the next correction */
    double freq_offset;      /* tick period is (1 + freq_offset) * samples_per_bit */
    int32_t decision_count;  /* entries of decisions */
    int32_t samples_per_bit; /* S */
    double dfe_tap;          /* weight of the previous decision at each slicer */
    double invert_time;      /* data decisions in the bit before it are inverted; 0 off */
    int32_t *sample_index;   /* cell: samples since setup, modulo 2147483647 */
    int32_t *wrap_count;     /* cell: wraps of sample_index */
    double *edge_timer;      /* cell: samples until the next tick */
    double *data_timer;      /* cell: samples until the next data instant */
    double *data_offset;     /* cell: data instant after its tick, S / 2 samples */
    double *previous_sample; /* cell: the input sample before the current one */
    double *decisions;       /* decision_count data decisions, newest first */
    double *data_decision;   /* cell: latest data decision */
    double *edge_decision;   /* cell: latest edge decision */
    double *retimed;         /* cell: retimed data waveform at the latest sample */
    int32_t *votes;          /* cell: net phase-detector votes since the last correction */
    int32_t max_threshold;   /* upper limit of vote_threshold */
    double *next_reference;  /* cell: reference tick time for the coming tick */
    double *last_reference;  /* cell: reference tick time of the previous alignment */
    int32_t reference_clock; /* non-zero: align ticks to the reference times */
} CDR;

/* mode from GetControlMode (an unknown keyword appends its warning to msg and
 * gives off); invert_time is kept only if greater than 0. samples_per_bit or
 * decision_count below 1, or an allocation failure, give a record whose
 * cells are all null: ApplyCDR then touches nothing and returns its
 * clock_index. Release with DeleteCDR. */
AMI_API CDR SetupCDR(const char *mode, double phase_step, int32_t max_threshold, double freq_offset,
                     int32_t decision_count, int32_t samples_per_bit, double dfe_tap,
                     double invert_time, char *msg, uint32_t msg_size);

/* Sets reference_clock of the record pointed to (null: nothing). Copies
 * made before keep their flag. */
AMI_API void EnableReferenceClk(CDR *cdr, int32_t flag);

/* Runs sample_count samples at sample_interval seconds. A positive
 * clock_times[clock_index] on entry becomes the next reference time and is
 * replaced by -1.0. Each tick writes its time at clock_times[clock_index],
 * advances clock_index, takes the next entry as the following reference
 * time and writes -1.0 there. There is at most one tick per sample, so
 * clock_index + sample_count + 1 entries always suffice. Returns the new
 * clock_index. A negative clock_index or null clock_times touch nothing. */
AMI_API int32_t ApplyCDR(const double *input, int32_t sample_count, CDR cdr, double sample_interval,
                         int32_t clock_index, double *clock_times);

/* Frees clock_phase, vote_threshold, sample_index, wrap_count, edge_timer,
 * data_timer, data_offset, previous_sample, decisions, data_decision,
 * edge_decision, retimed, votes, next_reference and last_reference, in this
 * order. */
AMI_API void DeleteCDR(CDR cdr);

/* ======================================================================
 * Channel shaping (blocks/shaping): delay line, slope and sawtooth,
 * rise/fall, Rayleigh and triangle filters, lookup table and tanh.
 * ====================================================================== */

/* The shaping blocks filter a stream in blocks of any size: input and
 * output hold sample_count samples and may be the same array; a count of 0
 * or below filters nothing. A non-zero reset clears the state after the
 * block, which itself still sees the old state. A record whose setup could
 * not be completed (see each setup) has null state pointers and passes its
 * input through unchanged; Apply and Delete accept it. */

/* ---- Delay line ----------------------------------------------------------- */

/* Delays a waveform by length - 1 whole samples, across calls. */
typedef struct DelayLine {
    int32_t length;    /* L buffer entries: the delay is L - 1 samples */
    int32_t *position; /* where the next input sample goes, 0 <= position < L */
    double *buffer;    /* the L samples in transit, circularly, 0.0 at first */
} DelayLine;

/* A delay of delay seconds at sample_interval seconds a sample, rounded to
 * the nearest whole sample with an exact half rounding down: a ratio
 * delay / sample_interval of 3.0 gives 3 samples, 2.5 gives 2, and any
 * ratio in (-0.5, 0.5) none. A ratio of -0.5 or below (a delay that
 * cannot run before its input) gives length 0, a position cell holding 0
 * and a null buffer; a ratio that is NaN or infinite, a delay that would
 * reach 2^31 - 1 samples, or memory running out give length 0 and null
 * pointers. Both records with length 0 pass samples through. */
AMI_API DelayLine SetupDelay(double delay, double sample_interval);

/* Each output sample is the input sample length - 1 samples earlier, 0.0
 * before the start of the stream. */
AMI_API void ApplyDelay(const double *input, int32_t sample_count, DelayLine line, int32_t reset,
                        double *output);

/* Frees position, then buffer. */
AMI_API void DeleteDelay(DelayLine line);

/* ---- Slope and sawtooth filters -------------------------------------------
 * Both run a window of n samples, n being the duration T divided by the
 * sample interval dt rounded up to a whole number of at least 1, as a
 * running sum whose cost per sample does not depend on n. Durations up to
 * dt give n = 1, where the slope filter passes its input through (up to
 * rounding errors of the running sum that grow like dt / T). A duration of
 * 0 or below, or one so short that dt / T overflows, acts as T = dt.
 * A ratio T / dt that is NaN, infinite or above 2^31 - 2, coefficients
 * that would not be finite, or memory running out give a record of length
 * 0 with null pointers (a pass-through). */

/* Gives every edge a straight ramp of duration T: the impulse response is
 * dt / T for samples 0 .. n - 2 and the remainder 1 - (n - 1) dt / T at
 * sample n - 1, so a unit step rises in a straight line to 1. */
typedef struct Slope {
    int32_t length;      /* L = n + 1 buffer entries */
    int32_t *position;   /* where the next input sample goes */
    double *buffer;      /* the last L input samples, circularly */
    double coef_in;      /* dt / T: weight of the newest sample */
    double coef_tail;    /* 1 - n dt / T: weight of the sample n - 1 back */
    double coef_out;     /* (n - 1) dt / T - 1: weight of the sample n back */
    double *accumulator; /* the previous output */
} Slope;

/* A ramp of duration seconds at sample_interval seconds a sample. */
AMI_API Slope SetupSlope(double duration, double sample_interval);
AMI_API void ApplySlope(const double *input, int32_t sample_count, Slope slope, int32_t reset,
                        double *output);
/* Frees position, buffer, then accumulator. */
AMI_API void DeleteSlope(Slope slope);

/* Turns a unit step into one tooth: a straight ramp from 0 to the amplitude
 * A over the duration T, then straight back to 0. The running sum is A
 * times the slope filter's output; the output subtracts A times the input
 * n samples back. With T up to dt (n = 1) the output is A times the
 * difference of consecutive inputs. */
typedef struct Sawtooth {
    int32_t length;      /* L = n + 1 buffer entries */
    int32_t *position;   /* where the next input sample goes */
    double *buffer;      /* the last L input samples, circularly */
    double coef_in;      /* A dt / T */
    double coef_tail;    /* A (1 - n dt / T) */
    double coef_out;     /* A ((n - 1) dt / T - 1) */
    double coef_drop;    /* -A: weight of the sample n back in the output */
    double *accumulator; /* the previous value of the running sum */
} Sawtooth;

/* A tooth of the given amplitude and duration (seconds) at sample_interval
 * seconds a sample; note the sample interval comes first. */
AMI_API Sawtooth SetSawtooth(double sample_interval, double amplitude, double duration);
AMI_API void ApplySawtooth(const double *input, int32_t sample_count, Sawtooth sawtooth,
                           int32_t reset, double *output);
/* Frees position, buffer, then accumulator. */
AMI_API void DeleteSawtooth(Sawtooth sawtooth);

/* ---- Rise/fall, Rayleigh and triangle filters -----------------------------
 * Recursive filters y(t) = sum b_j x(t - j) + sum a_j y(t - j) (feedback
 * added) with all poles at exp(-r), r the sample interval T over a
 * multiple of the time scale tau. The coefficients are those of the ratio
 * r as given; a ratio that is negative or NaN (a negative or NaN time scale
 * or sample interval, tau = -0.0) is taken as +infinity, the limit of a
 * vanishing time scale, as tau = 0 gives it: rise/fall then passes its
 * input through, Rayleigh and triangle output zeros. So no time scale
 * makes the filters unstable or their samples non-finite; a gain G that is
 * not finite makes the samples non-finite, as an input sample would.
 * input_history holds x(t), x(t - 1), ..., output_history y(t - 1), ...;
 * both start at 0.0. */

/* Second order, unit gain at DC: a step becomes a smooth rise. r = 2 T / tau,
 * u = exp(-r / 2), g = (1 - u)^2; b = (g, 2 g u, g exp(-r)),
 * a = (2 exp(-r), -exp(-2 r)). */
typedef struct RiseFall {
    double b0;
    double b1;
    double b2;
    double a1;
    double a2;
    double *input_history;  /* 3 doubles */
    double *output_history; /* 2 doubles */
} RiseFall;

/* T: sample interval, tau: time scale, both in seconds. */
AMI_API RiseFall SetRiseFall(double sample_interval, double tau);
AMI_API void ApplyRiseFall(const double *input, int32_t sample_count, RiseFall filter,
                           int32_t reset, double *output);
/* Frees input_history, then output_history. */
AMI_API void DeleteRiseFall(RiseFall filter);

/* Third order, zero gain at DC: a step becomes one pulse that peaks at
 * about G/2, 0.431 tau after the step, when tau is much longer than T.
 * r = (T / 0.431) / tau, u = exp(-r / 2), K = (1 - u) (G 2.71828) 0.5;
 * b = K (u, exp(-r) - u - exp(-3r/2), exp(-3r/2) - exp(-r) - exp(-2r),
 * exp(-2r)), a = (3 exp(-r), -3 exp(-2r), exp(-3r)). */
typedef struct Rayleigh {
    double b0;
    double b1;
    double b2;
    double b3;
    double a1;
    double a2;
    double a3;
    double *input_history;  /* 4 doubles */
    double *output_history; /* 3 doubles */
} Rayleigh;

/* T: sample interval (seconds), G: gain, tau: time scale (seconds). */
AMI_API Rayleigh SetRayleigh(double sample_interval, double gain, double tau);
AMI_API void ApplyRayleigh(const double *input, int32_t sample_count, Rayleigh filter,
                           int32_t reset, double *output);
/* Frees input_history, then output_history. */
AMI_API void DeleteRayleigh(Rayleigh filter);

/* First order, zero gain at DC: a step becomes a jump of G u followed by a
 * decay by exp(-r) a sample. r = T / tau, u = exp(-r / 2);
 * b = (G u, -G u), a = (exp(-r)). */
typedef struct Triangle {
    double b0;
    double b1;
    double a1;
    double *input_history;  /* 2 doubles */
    double *output_history; /* 1 double */
} Triangle;

/* T: sample interval (seconds), G: gain, tau: time scale (seconds). */
AMI_API Triangle SetTriangle(double sample_interval, double gain, double tau);
AMI_API void ApplyTriangle(const double *input, int32_t sample_count, Triangle filter,
                           int32_t reset, double *output);
/* Frees input_history, then output_history. */
AMI_API void DeleteTriangle(Triangle filter);

/* ---- Lookup table ---------------------------------------------------------- */

/* A transfer curve: linear interpolation between points, flat beyond the
 * first and the last. Read-only after SetTable; no reset, no state. */
typedef struct Table {
    int32_t npts; /* number of points, 2 .. 16777214 */
    double *x;    /* npts input values, strictly increasing */
    double *y;    /* npts output values */
} Table;

/* Copies the npts points (x[i], y[i]). A count outside 2 .. 16777214 aborts
 * with the report "npts > 1 && npts < 0xffffff" before anything is
 * allocated; then each x[indx] not above x[indx-1] (equal, smaller or NaN)
 * aborts with "x[indx] > x[indx-1]", checked point by point in order. If
 * memory runs out the record has npts 0 and null arrays (a pass-through).
 * Release with DeleteTable. */
AMI_API Table SetTable(int32_t npts, const double *x, const double *y);

/* output[i] = the curve at input[i]: y[0] up to and at x[0], y[npts-1] above
 * x[npts-1], in between ((v - x[lo]) y[hi] + (x[hi] - v) y[lo]) /
 * (x[hi] - x[lo]) with x[lo] < v <= x[hi] found by bisection. A NaN input
 * gives NaN. A one-point table made by hand aborts on a NaN input with the
 * report "hi != lo". input and output may be the same array. */
AMI_API void ApplyTable(const double *input, int32_t sample_count, Table table, double *output);

/* Frees x, then y. */
AMI_API void DeleteTable(Table table);

/* ---- Nonlinearities through the PRBS7 waveform -----------------------------
 * A linear channel response of n samples at the sample interval T, with
 * samples_per_bit samples a bit, is folded into its PRBS7 waveform (one
 * period of L = 127 samples_per_bit samples, see the waveforms section),
 * the nonlinearity acts on every sample of it, and the waveform is unfolded
 * into n samples of the same kind of response. n should be at least L (and
 * 6 for impulse responses); shorter responses are handled as the unfolds
 * handle them. Response and output may be the same array. Without a period
 * (samples_per_bit < 1 or above 5 636 440) or without memory for the L
 * scratch samples the output is n zeros. */

/* Pulse response through the table: P2PRBS, ApplyTable, PRBS2P. */
AMI_API void PulseTablePRBS(const double *pulse, int32_t n, int32_t samples_per_bit,
                            double sample_interval, Table table, double *output);

/* Impulse response through the table: I2PRBS, ApplyTable, PRBS2I. */
AMI_API void ApplyTablePRBS(const double *impulse, int32_t n, int32_t samples_per_bit,
                            double sample_interval, Table table, double *output);

/* Impulse response through a tanh limiter: I2PRBS, every waveform sample w
 * replaced by limit tanh(w / limit), PRBS2I. The waveform's magnitude stays
 * below |limit| and small samples pass with unit slope; a negative limit
 * acts as its magnitude. A limit of 0 compresses every sample to 0 (the
 * output is n zeros unless the waveform holds NaN); an infinite limit
 * leaves the waveform unchanged (the output is PRBS2I(I2PRBS(impulse))).
 * tanh is the library's own, so i386 and x86-64 give the same bits. */
AMI_API void Apply_tanh(const double *impulse, int32_t n, int32_t samples_per_bit,
                        double sample_interval, double limit, double *output);

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
