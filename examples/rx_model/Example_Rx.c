/*
 * Example_Rx: an IBIS-AMI receiver built on the Kestrom AMI toolkit.
 *
 *   CTLE  a continuous-time linear equaliser: one zero and two real poles,
 *         gain 1 at DC, run as the toolkit's peaking filter;
 *   DFE   a decision feedback equaliser: in AMI_Init (auto mode) its taps
 *         are the post-cursors of the equalised pulse response at its
 *         sampling instant, negated, and their correction goes into the
 *         impulse response; in AMI_GetWave it starts from those taps, feeds
 *         the recovered bits back and adapts the taps;
 *   CDR   clock and data recovery: decides the bits the DFE feeds back and
 *         writes the clock ticks into the simulator's clock_times.
 *
 * Rx_Modulation selects NRZ, decided by the toolkit's CDR, or PAM4, for
 * which the model has a slicer and clock recovery of its own (see
 * Pam4Receiver) whose decisions the DFE block feeds back. Each AMI_GetWave
 * returns in AMI_parameters_out what the receiver has adapted to: its DFE
 * taps, its clock phase and, for PAM4, its thresholds.
 *
 * The model's parameters are read with the toolkit's parameter tree; see
 * Example_Rx.ami. Everything an instance owns hangs off its RxInstance, so
 * instances are independent and the model keeps no global state.
 */
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Kestrom_AMI_Model.h"

/* The standard's entry points: the only names the model exports. */
AMI_EXTERN_C_BEGIN
AMI_API long AMI_Init(double *impulse_matrix, long row_size, long aggressors,
                      double sample_interval, double bit_time, char *AMI_parameters_in,
                      char **AMI_parameters_out, void **AMI_memory_handle, char **msg);
AMI_API long AMI_GetWave(double *wave, long wave_size, double *clock_times,
                         char **AMI_parameters_out, void *AMI_memory);
AMI_API long AMI_Close(void *AMI_memory);
AMI_EXTERN_C_END

#define MODEL_NAME "Example_Rx"
#define PI 3.14159265358979323846
#define SCRATCH_SIZE 256
/* Bits longer than this many samples are no receiver's. */
#define MAX_SAMPLES_PER_BIT 1048576.0

/* The clock recovery's phase correction (UI) and the most net votes it
 * waits for before one, for NRZ and PAM4 alike. */
#define CDR_PHASE_STEP (1.0 / 64.0)
#define CDR_MAX_VOTES 16
/* How fast the PAM4 slicer's estimate of the outer level follows. */
#define PAM4_LEVEL_STEP (1.0 / 512.0)

enum {
    CTLE_ZERO,
    CTLE_POLE1,
    CTLE_POLE2,
    DFE_MODE,
    DFE_TAPS,
    CDR_MODE,
    RX_MODULATION,
    PARAM_COUNT
};
/* At most the entries of AMI_GetWave's report: taps, phase, thresholds. */
enum { REPORT_ENTRIES = 3 };

/*
 * PAM4 reception. The simulator sends the symbols at -1/2, -1/6, +1/6 and
 * +1/2 V (-1, -1/3, +1/3, +1 times a half swing of 1/2 V, the swing of the
 * NRZ stimulus), so each decision is fed back to the DFE as that level, and
 * the taps (the negated post-cursors of the pulse response to one symbol
 * of 1 V) cancel the post-cursors of every level as they do for NRZ.
 *
 * The slicer decides at 0 and at +-2/3 of the outer symbols' level, which
 * it estimates without decisions: the mean magnitude of equally likely
 * symbols is 2/3 of the outer level, so the estimate follows 3/2 of the
 * magnitude at each data instant. It starts from half the main cursor of
 * the pulse response AMI_Init was given, else from 1/2 V.
 *
 * The clock recovery is the toolkit's bang-bang loop (ticks a symbol
 * apart, the data instant half a symbol after each tick, the same phase
 * step and vote thresholds) but votes only on the transitions that cross
 * the centre threshold half-way between their symbols' centres: +-1 to
 * -+1 and +-1/3 to -+1/3. The others across the centre (+-1 to -+1/3 and
 * back) cross it a quarter of a symbol early or late, and the transitions
 * between neighbouring levels cross the outer thresholds, which move with
 * the level estimate; voting on them would spread the phase detector's
 * answer over half a symbol instead of centring the clock in the eyes.
 */
typedef struct Pam4Receiver {
    double edge_timer;      /* samples until the next tick */
    double data_timer;      /* samples until the next data instant */
    double data_offset;     /* the data instant after its tick: half a symbol, whole samples */
    double previous_sample; /* the input before the current sample */
    double edge_sample;     /* the waveform at the latest tick */
    double outer_level;     /* estimated level of the outer symbols at the data instant */
    double *decisions;      /* decision_count levels decided, newest first, for the DFE */
    int32_t decision_count;
    int32_t latest;   /* level 0..3 (-1 .. +1) of the latest decision, -1 before the first */
    int32_t previous; /* level of decisions[0], -1 before the first */
    int32_t votes;    /* net votes (early minus late) since the last correction */
    int32_t vote_threshold;
    int32_t corrects;  /* the phase follows the data (auto and adapt) */
    double correction; /* one phase correction, samples */
    int64_t sample_index;
    double thresholds[3]; /* lower, centre, upper: for the report */
} Pam4Receiver;

typedef struct RxInstance {
    Param entries[PARAM_COUNT];
    PeakingFilter ctle;
    DFE dfe;
    CDR cdr; /* NRZ */
    int32_t pam4;
    Pam4Receiver pam4_rx;
    double sample_interval; /* s */
    int32_t samples_per_bit;
    double main_cursor; /* of the pulse response AMI_Init was given, 0 without one */
    /* The clock's ticks so far and the latest one's time (s), for its phase. */
    int64_t ticks;
    double last_tick;
    /* AMI_GetWave's report: a tree pointing at the taps and thresholds. */
    Param report[REPORT_ENTRIES];
    int32_t report_count;
    int32_t phase_entry;
    ParamArray report_taps;
    ParamArray report_thresholds;
    char *params_out; /* echo, lent to the simulator */
    char *report_out; /* AMI_GetWave's report, lent until the next call */
    char *msg;        /* message string, lent to the simulator */
    char scratch[SCRATCH_SIZE + 1];
} RxInstance;

static char *copy_text(const char *text) {
    char *copy = (char *)malloc(strlen(text) + 1);
    if (copy != NULL) {
        strcpy(copy, text);
    }
    return copy;
}

/* Appends the message buffer's contents to the message string and empties
 * the buffer. */
static void flush_scratch(RxInstance *self) {
    if (self->scratch[0] != '\0') {
        self->msg = string_cat(self->msg, self->scratch);
        memset(self->scratch, 0, sizeof self->scratch);
    }
}

static void set_entry(Param *entry, const char *name, ParamType type) {
    entry->name = name;
    entry->type = type;
    entry->value.bits = 0;
}

/* Defaults as in Example_Rx.ami; texts are the tree's own heap blocks. */
static void set_defaults(RxInstance *self) {
    Param *e = self->entries;
    set_entry(&e[CTLE_ZERO], "CTLE_Zero", PARAM_DOUBLE);
    e[CTLE_ZERO].value.as_double = 1.0e9;
    set_entry(&e[CTLE_POLE1], "CTLE_Pole1", PARAM_DOUBLE);
    e[CTLE_POLE1].value.as_double = 5.0e9;
    set_entry(&e[CTLE_POLE2], "CTLE_Pole2", PARAM_DOUBLE);
    e[CTLE_POLE2].value.as_double = 2.0e10;
    set_entry(&e[DFE_MODE], "DFE_Mode", PARAM_STRING);
    e[DFE_MODE].value.text = copy_text("auto");
    set_entry(&e[DFE_TAPS], "DFE_Taps", PARAM_INT);
    e[DFE_TAPS].value.as_int = 4;
    set_entry(&e[CDR_MODE], "CDR_Mode", PARAM_STRING);
    e[CDR_MODE].value.text = copy_text("auto");
    set_entry(&e[RX_MODULATION], "Rx_Modulation", PARAM_STRING);
    e[RX_MODULATION].value.text = copy_text("NRZ");
}

/* Out-of-range values go back to their defaults, with a warning. */
static void validate(RxInstance *self) {
    Param *e = self->entries;
    const double zero = e[CTLE_ZERO].value.as_double;
    const double pole1 = e[CTLE_POLE1].value.as_double;
    const double pole2 = e[CTLE_POLE2].value.as_double;
    if (!(zero > 0.0 && zero < pole1 && pole1 < pole2 && pole2 <= 1.0e11)) {
        WarnPrt(self->scratch, SCRATCH_SIZE,
                "CTLE needs 0 < CTLE_Zero < CTLE_Pole1 < CTLE_Pole2 <= 1e11; using the defaults\n");
        flush_scratch(self);
        e[CTLE_ZERO].value.as_double = 1.0e9;
        e[CTLE_POLE1].value.as_double = 5.0e9;
        e[CTLE_POLE2].value.as_double = 2.0e10;
    }
    if (e[DFE_TAPS].value.as_int < 1 || e[DFE_TAPS].value.as_int > 16) {
        WarnPrt(self->scratch, SCRATCH_SIZE, "DFE_Taps must be 1 to 16; using 4\n");
        flush_scratch(self);
        e[DFE_TAPS].value.as_int = 4;
    }
    if (e[RX_MODULATION].value.text == NULL || (strcmp(e[RX_MODULATION].value.text, "NRZ") != 0 &&
                                                strcmp(e[RX_MODULATION].value.text, "PAM4") != 0)) {
        WarnPrt(self->scratch, SCRATCH_SIZE, "Rx_Modulation must be NRZ or PAM4; using NRZ\n");
        flush_scratch(self);
        free(e[RX_MODULATION].value.text);
        e[RX_MODULATION].value.text = copy_text("NRZ");
    }
    self->pam4 =
        e[RX_MODULATION].value.text != NULL && strcmp(e[RX_MODULATION].value.text, "PAM4") == 0;
}

/* H(s) = (1 + s/wz) / ((1 + s/w1)(1 + s/w2)) as the peaking filter's sum
 * of sections r w / (s + w), each of gain r at DC:
 *   r1 = w2 (wz - w1) / (wz (w2 - w1)),  r2 = w1 (w2 - wz) / (wz (w2 - w1)). */
static PeakingFilter design_ctle(double zero_hz, double pole1_hz, double pole2_hz, double T) {
    Complex poles[2];
    Complex residues[2];
    Complex *pole_sets[1];
    Complex *residue_sets[1];
    const double gain = 1.0;
    poles[0] = cmplx(-2.0 * PI * pole1_hz, 0.0);
    poles[1] = cmplx(-2.0 * PI * pole2_hz, 0.0);
    residues[0] = cmplx(pole2_hz * (zero_hz - pole1_hz) / (zero_hz * (pole2_hz - pole1_hz)), 0.0);
    residues[1] = cmplx(pole1_hz * (pole2_hz - zero_hz) / (zero_hz * (pole2_hz - pole1_hz)), 0.0);
    pole_sets[0] = poles;
    residue_sets[0] = residues;
    return SetupPeakingFilter(T, 2, 1, pole_sets, residue_sets, &gain, NULL, 0);
}

static void release(RxInstance *self) {
    DeletePeakingFilter(self->ctle);
    DeleteDFE(self->dfe);
    DeleteCDR(self->cdr);
    free(self->pam4_rx.decisions);
    FreeTree(MODEL_NAME, PARAM_COUNT, self->entries);
    free(self->params_out);
    free(self->report_out);
    free(self->msg);
    free(self);
}

/* Why AMI_Init hands out no instance. Simulators only read these texts. */
static char out_of_memory[] = "**Error** " MODEL_NAME ": out of memory in AMI_Init.\n";
static char no_handle[] = "**Error** " MODEL_NAME
                          ": AMI_Init was given no memory handle; the model is not initialised.\n";
static char bad_sample_interval[] =
    "**Error** " MODEL_NAME
    ": sample_interval is not a finite time above 0; the model is not initialised.\n";
static char bad_bit_time[] =
    "**Error** " MODEL_NAME
    ": bit_time is not a finite time above 0, or is more than 2^20 sample intervals; the model is "
    "not initialised.\n";

/* Nothing half-built is handed out: a null instance (which AMI_GetWave and
 * AMI_Close accept), an explanation and the standard's failure result. */
static long fail_init(RxInstance *partial, char *reason, char **parameters_out,
                      void **memory_handle, char **msg) {
    static char no_parameters[] = "";
    if (partial != NULL) {
        release(partial);
    }
    if (memory_handle != NULL) {
        *memory_handle = NULL;
    }
    if (parameters_out != NULL) {
        *parameters_out = no_parameters;
    }
    if (msg != NULL) {
        *msg = reason;
    }
    return 0;
}

/* The timing the blocks divide by: a finite sample interval above 0, and a
 * bit of at most 2^20 samples. The reason for refusing, or NULL. */
static char *timing_fault(double sample_interval, double bit_time) {
    if (!(sample_interval > 0.0 && sample_interval <= DBL_MAX)) {
        return bad_sample_interval;
    }
    if (!(bit_time > 0.0 && bit_time / sample_interval <= MAX_SAMPLES_PER_BIT)) {
        return bad_bit_time;
    }
    return NULL;
}

/* The pulse response (one symbol of amplitude 1) through the CTLE: its main
 * cursor, the sampling instant, is its largest value. In the DFE's auto
 * mode the taps cancel its post-cursors there: tap k is the post-cursor
 * k + 1 symbols after that instant, negated (and turned over for an
 * inverting channel, whose decisions come out inverted). The DFE adds a
 * tap to the signal for the symbol around the post-cursor's instant, half
 * a symbol before it to half a symbol after: in the impulse response a
 * sample of tap / sample_interval half a symbol before it, so that the
 * response is equalised at sampling phases on either side of the centre as
 * the waveform's decisions are. Returns 0 when memory runs out. */
static int equalise_pulse_response(RxInstance *self, double *response, int32_t row_size,
                                   int32_t samples_per_bit) {
    double *pulse = (double *)malloc((size_t)row_size * sizeof *pulse);
    int32_t peak = 0;
    int32_t i;
    int32_t k;
    if (pulse == NULL) {
        return 0;
    }
    I2P(pulse, response, row_size, samples_per_bit, self->sample_interval);
    for (i = 1; i < row_size; ++i) {
        if (fabs(pulse[i]) > fabs(pulse[peak])) {
            peak = i;
        }
    }
    self->main_cursor = pulse[peak];
    for (k = 0; self->dfe.mode == CONTROL_MODE_AUTO && k < self->dfe.tap_count; ++k) {
        const int64_t at = (int64_t)peak + (int64_t)(k + 1) * samples_per_bit;
        const double post_cursor = at < row_size ? pulse[at] : 0.0;
        self->dfe.taps[k] = pulse[peak] < 0.0 ? post_cursor : -post_cursor;
        if (at < row_size) {
            response[at - samples_per_bit / 2] -= post_cursor / self->sample_interval;
        }
    }
    free(pulse);
    return 1;
}

/* The PAM4 slicer and clock recovery at rest: the first tick at once, the
 * first data instant half a symbol later, nothing decided (fed back as 0).
 * Returns 0 when memory runs out. */
static int setup_pam4(RxInstance *self, int32_t samples_per_bit) {
    Pam4Receiver *rx = &self->pam4_rx;
    const ControlMode mode =
        GetControlMode(self->entries[CDR_MODE].value.text, self->scratch, SCRATCH_SIZE);
    flush_scratch(self);
    rx->decision_count = self->dfe.tap_count;
    rx->decisions = (double *)calloc((size_t)rx->decision_count, sizeof *rx->decisions);
    rx->data_offset = (double)(samples_per_bit / 2);
    rx->data_timer = rx->data_offset;
    rx->outer_level = self->main_cursor != 0.0 ? 0.5 * fabs(self->main_cursor) : 0.5;
    rx->latest = -1;
    rx->previous = -1;
    rx->corrects = mode == CONTROL_MODE_AUTO || mode == CONTROL_MODE_ADAPT;
    rx->correction = CDR_PHASE_STEP * samples_per_bit;
    return rx->decisions != NULL;
}

/* What AMI_GetWave reports, as a tree the toolkit prints: the DFE's taps
 * (unless it is off), the clock phase and, for PAM4, the thresholds. */
static void setup_report(RxInstance *self) {
    Param *r = self->report;
    int32_t n = 0;
    self->report_taps.type = PARAM_DOUBLE_ARRAY;
    self->report_taps.count = self->dfe.tap_count;
    self->report_taps.items = self->dfe.taps;
    self->report_thresholds.type = PARAM_DOUBLE_ARRAY;
    self->report_thresholds.count = 3;
    self->report_thresholds.items = self->pam4_rx.thresholds;
    if (self->dfe.mode != CONTROL_MODE_OFF) {
        set_entry(&r[n], "DFE_Taps_Now", PARAM_DOUBLE_ARRAY);
        r[n++].value.array = &self->report_taps;
    }
    self->phase_entry = n;
    set_entry(&r[n++], "CDR_Phase", PARAM_DOUBLE);
    if (self->pam4) {
        set_entry(&r[n], "PAM4_Thresholds", PARAM_DOUBLE_ARRAY);
        r[n++].value.array = &self->report_thresholds;
    }
    self->report_count = n;
}

long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
              double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
              void **AMI_memory_handle, char **msg) {
    RxInstance *self;
    int32_t configured = 0;
    int32_t samples_per_bit;
    long k;

    char *fault = timing_fault(sample_interval, bit_time);

    if (AMI_memory_handle == NULL) {
        return fail_init(NULL, no_handle, AMI_parameters_out, AMI_memory_handle, msg);
    }
    if (fault != NULL) {
        return fail_init(NULL, fault, AMI_parameters_out, AMI_memory_handle, msg);
    }
    self = (RxInstance *)calloc(1, sizeof *self);
    if (self == NULL) {
        return fail_init(NULL, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
    }
    *AMI_memory_handle = self;
    self->sample_interval = sample_interval;
    set_defaults(self);
    if (AMI_parameters_in != NULL) {
        configured =
            ParseTree(AMI_parameters_in, MODEL_NAME, PARAM_COUNT, self->entries, &self->msg);
    }
    sprintf(self->scratch, "**Info** Configured %d items through parameter string.\n",
            (int)configured);
    flush_scratch(self);
    validate(self);

    samples_per_bit = (int32_t)floor(bit_time / sample_interval + 0.5);
    if (samples_per_bit < 1) {
        samples_per_bit = 1;
    }
    self->ctle = design_ctle(self->entries[CTLE_ZERO].value.as_double,
                             self->entries[CTLE_POLE1].value.as_double,
                             self->entries[CTLE_POLE2].value.as_double, sample_interval);
    /* The taps adapt once a symbol (see AMI_GetWave), by as much as 1e-4 a
     * sample would over the symbol. */
    self->dfe = SetupDFE(self->entries[DFE_TAPS].value.as_int, NULL, samples_per_bit, -0.5, 0.5,
                         1e-4, self->entries[DFE_MODE].value.text, 1e-4 * samples_per_bit,
                         self->scratch, SCRATCH_SIZE);
    flush_scratch(self);
    if (!self->pam4) {
        self->cdr = SetupCDR(self->entries[CDR_MODE].value.text, CDR_PHASE_STEP, CDR_MAX_VOTES, 0.0,
                             self->entries[DFE_TAPS].value.as_int, samples_per_bit, 0.0, 0.0,
                             self->scratch, SCRATCH_SIZE);
        flush_scratch(self);
    }
    if (self->ctle.filter_count != 1 || self->dfe.tap_count < 1 ||
        (!self->pam4 && self->cdr.decisions == NULL) || self->msg == NULL) {
        return fail_init(self, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
    }
    self->samples_per_bit = samples_per_bit;

    /* Every response through the CTLE, each from rest; the DFE's correction
     * on the through response only, since it cancels the victim's own
     * post-cursors. */
    if (impulse_matrix != NULL && row_size > 0 && row_size <= INT32_MAX) {
        for (k = 0; k <= aggressors; ++k) {
            double *response = impulse_matrix + k * row_size;
            ApplyPeakingFilter(response, (int32_t)row_size, self->ctle, 0, 1, response);
        }
        if (aggressors >= 0 && (self->dfe.mode == CONTROL_MODE_AUTO || self->pam4) &&
            !equalise_pulse_response(self, impulse_matrix, (int32_t)row_size, samples_per_bit)) {
            return fail_init(self, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
        }
    }
    if (self->pam4 && !setup_pam4(self, samples_per_bit)) {
        return fail_init(self, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
    }
    setup_report(self);

    self->params_out = GrowTree(MODEL_NAME, PARAM_COUNT, self->entries);
    if (self->params_out == NULL) {
        return fail_init(self, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
    }
    if (AMI_parameters_out != NULL) {
        *AMI_parameters_out = self->params_out;
    }
    if (msg != NULL) {
        *msg = self->msg;
    }
    return 1;
}

/* Samples the CDR takes before its next tick or data instant, at most
 * limit: a timer t >= 0 fires at the (floor(t) + 2)-th sample, so the first
 * floor(t) + 1 are free of it; a negative timer fires at once, and that
 * sample goes alone. A record of null cells never fires. */
static long samples_before_next_event(const double *edge_timer, const double *data_timer,
                                      long limit) {
    double timer;
    if (edge_timer == NULL || data_timer == NULL) {
        return limit;
    }
    timer = *edge_timer < *data_timer ? *edge_timer : *data_timer;
    if (timer < 0.0) {
        return 1;
    }
    return timer + 1.0 < (double)limit ? (long)floor(timer) + 1 : limit;
}

/* True when a run is the CDR's data instant: a lone sample at which its
 * data timer has run out. */
static int is_data_instant(const double *data_timer, long run) {
    return run == 1 && data_timer != NULL && *data_timer < 0.0;
}

/* The PAM4 level (-1/2, -1/6, +1/6, +1/2 V) of decision 0 .. 3; 0 for none. */
static double pam4_level(int32_t decision) {
    return decision < 0 ? 0.0 : (2.0 * decision - 3.0) / 6.0;
}

static double pam4_upper_threshold(const Pam4Receiver *rx) {
    return 2.0 / 3.0 * rx->outer_level;
}

/* A tick, e (negative) samples from the current sample, placed as the
 * toolkit's CDR places its ticks: its time into clock_times, the waveform
 * there kept for the phase detector, and the latest decision fed back from
 * now on. */
static int32_t pam4_tick(Pam4Receiver *rx, double x, double e, double sample_interval,
                         int32_t samples_per_bit, int32_t clock_index, double *clock_times) {
    clock_times[clock_index] =
        (double)rx->sample_index * sample_interval + (e + 1.0) * sample_interval;
    ++clock_index;
    clock_times[clock_index] = -1.0;
    rx->edge_sample = (e + 1.0) * x - e * rx->previous_sample;
    memmove(rx->decisions + 1, rx->decisions,
            (size_t)(rx->decision_count - 1) * sizeof *rx->decisions);
    rx->decisions[0] = pam4_level(rx->latest);
    rx->previous = rx->latest;
    rx->edge_timer = e + samples_per_bit - 1.0;
    return clock_index;
}

/* A vote of the phase detector, counted as the toolkit's CDR counts them:
 * an early clock moves later once the net votes reach the threshold, which
 * then rises by one up to CDR_MAX_VOTES; a late one moves earlier. */
static void pam4_vote(Pam4Receiver *rx, int early) {
    if (!rx->corrects) {
        return;
    }
    rx->votes += early ? 1 : -1;
    if (rx->votes >= rx->vote_threshold || rx->votes <= -rx->vote_threshold) {
        rx->votes = 0;
        rx->edge_timer += early ? rx->correction : -rx->correction;
        if (rx->vote_threshold < CDR_MAX_VOTES) {
            ++rx->vote_threshold;
        }
    }
}

/* A data instant, d (negative) samples from the current sample: the symbol
 * decided; a vote on a transition symmetric about the centre threshold
 * (the edge sample lies on the new symbol's side when the clock is late);
 * the level estimate updated; the next data instant half a symbol after
 * the next tick. */
static void pam4_data_instant(Pam4Receiver *rx, double x, double d) {
    const double v = (d + 1.0) * x - d * rx->previous_sample;
    const double upper = pam4_upper_threshold(rx);
    const int32_t decision = v > upper ? 3 : v > 0.0 ? 2 : v > -upper ? 1 : 0;
    if (rx->previous >= 0 && rx->previous + decision == 3 && rx->edge_sample != 0.0) {
        const int rising = decision > rx->previous;
        pam4_vote(rx, (rx->edge_sample > 0.0) != rising);
    }
    rx->latest = decision;
    rx->outer_level += PAM4_LEVEL_STEP * (1.5 * fabs(v) - rx->outer_level);
    rx->data_timer = rx->edge_timer + rx->data_offset;
}

/* The PAM4 clock recovery over count samples of the equalised waveform,
 * ticks from clock_times[clock_index] on; returns the new clock_index. */
static int32_t pam4_recover(RxInstance *self, const double *wave, long count, int32_t clock_index,
                            double *clock_times) {
    Pam4Receiver *rx = &self->pam4_rx;
    long i;
    if (count > 0 && rx->edge_timer >= (double)(count - 1) &&
        rx->data_timer >= (double)(count - 1)) {
        /* Neither timer runs out: they count down by whole samples, which
         * is exact, as count single steps would. */
        rx->edge_timer -= (double)count;
        rx->data_timer -= (double)count;
        rx->previous_sample = wave[count - 1];
        rx->sample_index += count;
        return clock_index;
    }
    for (i = 0; i < count; ++i) {
        const double x = wave[i];
        if (rx->edge_timer < 0.0) {
            clock_index = pam4_tick(rx, x, rx->edge_timer, self->sample_interval,
                                    self->samples_per_bit, clock_index, clock_times);
        } else {
            rx->edge_timer -= 1.0;
        }
        if (rx->data_timer < 0.0) {
            pam4_data_instant(rx, x, rx->data_timer);
        } else {
            rx->data_timer -= 1.0;
        }
        rx->previous_sample = x;
        ++rx->sample_index;
    }
    return clock_index;
}

/* The clock recovery of the instance's modulation over a run of samples;
 * the ticks it writes are counted for the clock's phase. */
static int32_t recover_clock(RxInstance *self, const double *wave, long run, int32_t clock_index,
                             double *clock_times) {
    const int32_t next = self->pam4 ? pam4_recover(self, wave, run, clock_index, clock_times)
                                    : ApplyCDR(wave, (int32_t)run, self->cdr, self->sample_interval,
                                               clock_index, clock_times);
    if (next > clock_index) {
        self->ticks += next - clock_index;
        self->last_tick = clock_times[next - 1];
    }
    return next;
}

/* AMI_GetWave's report, printed once a call. The clock phase is the latest
 * tick's distance, in UI, from where it would lie had the clock never been
 * corrected: n bit times after time 0 for the n-th tick. It starts at one
 * sample (the first tick's time) and follows the clock without wrapping. */
static char *report(RxInstance *self) {
    const double bit = (double)self->samples_per_bit * self->sample_interval;
    const double upper = pam4_upper_threshold(&self->pam4_rx);
    self->report[self->phase_entry].value.as_double =
        self->ticks > 0 ? self->last_tick / bit - (double)(self->ticks - 1) : 0.0;
    self->pam4_rx.thresholds[0] = -upper;
    self->pam4_rx.thresholds[1] = 0.0;
    self->pam4_rx.thresholds[2] = upper;
    free(self->report_out);
    self->report_out = GrowTree(MODEL_NAME, self->report_count, self->report);
    return self->report_out;
}

long AMI_GetWave(double *wave, long wave_size, double *clock_times, char **AMI_parameters_out,
                 void *AMI_memory) {
    RxInstance *self = (RxInstance *)AMI_memory;
    DFE held;
    double own_ticks[2];
    int32_t clock_index = 0;
    long max_ticks;
    long j;
    long run;
    const double *edge_timer;
    const double *data_timer;
    const double *decisions;

    if (AMI_parameters_out != NULL) {
        *AMI_parameters_out = NULL;
    }
    if (self == NULL || wave == NULL || wave_size <= 0) {
        return 1;
    }
    ApplyPeakingFilter(wave, (int32_t)wave_size, self->ctle, 0, 0, wave);
    /* The DFE adapts on the sample the CDR decides from, once a symbol, as
     * a receiver's DFE does; on the others it feeds back with its taps held
     * (a copy of the record shares the taps). */
    held = self->dfe;
    if (held.mode == CONTROL_MODE_AUTO || held.mode == CONTROL_MODE_ADAPT) {
        held.mode = CONTROL_MODE_FIXED;
    }
    edge_timer = self->pam4 ? &self->pam4_rx.edge_timer : self->cdr.edge_timer;
    data_timer = self->pam4 ? &self->pam4_rx.data_timer : self->cdr.data_timer;
    decisions = self->pam4 ? self->pam4_rx.decisions : self->cdr.decisions;
    /* The DFE feeds back the symbols the CDR has decided so far, and the
     * CDR sees the equalised samples. Decisions change only where the CDR
     * ticks or samples the data, so the samples before its next tick or
     * data instant (its timers say how many) go through both as one run,
     * and the instant itself alone; a run holds one tick at most. The
     * simulator's clock_times holds a tick for each symbol of the block and
     * the terminator: a tick beyond those (the clock pulled early) goes to
     * a scratch pair, as all do without a clock_times array. */
    max_ticks = wave_size / self->samples_per_bit + (wave_size % self->samples_per_bit != 0);
    if (clock_times != NULL) {
        clock_times[0] = -1.0;
    }
    for (j = 0; j < wave_size; j += run) {
        run = samples_before_next_event(edge_timer, data_timer, wave_size - j);
        ApplyDFE(&wave[j], (int32_t)run, is_data_instant(data_timer, run) ? self->dfe : held, 0,
                 self->sample_interval, decisions, &wave[j]);
        if (clock_times != NULL && clock_index < max_ticks) {
            clock_index = recover_clock(self, &wave[j], run, clock_index, clock_times);
        } else {
            own_ticks[0] = -1.0;
            own_ticks[1] = -1.0;
            (void)recover_clock(self, &wave[j], run, 0, own_ticks);
        }
    }
    if (AMI_parameters_out != NULL) {
        *AMI_parameters_out = report(self);
    }
    return 1;
}

long AMI_Close(void *AMI_memory) {
    if (AMI_memory != NULL) {
        release((RxInstance *)AMI_memory);
    }
    return 1;
}
