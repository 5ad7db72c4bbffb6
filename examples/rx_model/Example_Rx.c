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

enum { CTLE_ZERO, CTLE_POLE1, CTLE_POLE2, DFE_MODE, DFE_TAPS, CDR_MODE, PARAM_COUNT };

typedef struct RxInstance {
    Param entries[PARAM_COUNT];
    PeakingFilter ctle;
    DFE dfe;
    CDR cdr;
    double sample_interval; /* s */
    int32_t samples_per_bit;
    char *params_out; /* echo, lent to the simulator */
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
    FreeTree(MODEL_NAME, PARAM_COUNT, self->entries);
    free(self->params_out);
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

/* Auto mode: the taps cancel the post-cursors of the pulse response (one
 * bit of amplitude 1) at its sampling instant, its largest value. Tap k is
 * the post-cursor k + 1 bits after that instant, negated (and turned over
 * for an inverting channel, whose decisions come out inverted). The DFE
 * adds a tap to the signal for one bit from the post-cursor's instant on:
 * in the impulse response a sample of tap / sample_interval there. Returns
 * 0 when memory runs out. */
static int cancel_post_cursors(RxInstance *self, double *response, int32_t row_size,
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
    for (k = 0; k < self->dfe.tap_count; ++k) {
        const int64_t at = (int64_t)peak + (int64_t)(k + 1) * samples_per_bit;
        const double post_cursor = at < row_size ? pulse[at] : 0.0;
        self->dfe.taps[k] = pulse[peak] < 0.0 ? post_cursor : -post_cursor;
        if (at < row_size) {
            response[at] -= post_cursor / self->sample_interval;
        }
    }
    free(pulse);
    return 1;
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
    /* The taps adapt once a bit (see AMI_GetWave), by as much as 1e-4 a
     * sample would over the bit. */
    self->dfe = SetupDFE(self->entries[DFE_TAPS].value.as_int, NULL, samples_per_bit, -0.5, 0.5,
                         1e-4, self->entries[DFE_MODE].value.text, 1e-4 * samples_per_bit,
                         self->scratch, SCRATCH_SIZE);
    flush_scratch(self);
    self->cdr = SetupCDR(self->entries[CDR_MODE].value.text, 1.0 / 64.0, 16, 0.0,
                         self->entries[DFE_TAPS].value.as_int, samples_per_bit, 0.0, 0.0,
                         self->scratch, SCRATCH_SIZE);
    flush_scratch(self);
    if (self->ctle.filter_count != 1 || self->dfe.tap_count < 1 || self->cdr.decisions == NULL ||
        self->msg == NULL) {
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
        if (aggressors >= 0 && self->dfe.mode == 2 &&
            !cancel_post_cursors(self, impulse_matrix, (int32_t)row_size, samples_per_bit)) {
            return fail_init(self, out_of_memory, AMI_parameters_out, AMI_memory_handle, msg);
        }
    }

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
static long samples_before_next_event(CDR cdr, long limit) {
    double timer;
    if (cdr.edge_timer == NULL || cdr.data_timer == NULL) {
        return limit;
    }
    timer = *cdr.edge_timer < *cdr.data_timer ? *cdr.edge_timer : *cdr.data_timer;
    if (timer < 0.0) {
        return 1;
    }
    return timer + 1.0 < (double)limit ? (long)floor(timer) + 1 : limit;
}

/* True when a run is the CDR's data instant: a lone sample at which its
 * data timer has run out. */
static int is_data_instant(CDR cdr, long run) {
    return run == 1 && cdr.data_timer != NULL && *cdr.data_timer < 0.0;
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

    if (AMI_parameters_out != NULL) {
        *AMI_parameters_out = NULL;
    }
    if (self == NULL || wave == NULL || wave_size <= 0) {
        return 1;
    }
    ApplyPeakingFilter(wave, (int32_t)wave_size, self->ctle, 0, 0, wave);
    /* The DFE adapts on the sample the CDR decides from, once a bit, as a
     * receiver's DFE does; on the others it feeds back with its taps held
     * (a copy of the record shares the taps). */
    held = self->dfe;
    if (held.mode == CONTROL_MODE_AUTO || held.mode == CONTROL_MODE_ADAPT) {
        held.mode = CONTROL_MODE_FIXED;
    }
    /* The DFE feeds back the bits the CDR has decided so far, and the CDR
     * sees the equalised samples. Decisions change only where the CDR
     * ticks or samples the data, so the samples before its next tick or
     * data instant (its timers say how many) go through both as one run,
     * and the instant itself alone; a run holds one tick at most. The
     * simulator's clock_times holds a tick for each bit of the block and
     * the terminator: a tick beyond those (the clock pulled early) goes to
     * a scratch pair, as all do without a clock_times array. */
    max_ticks = wave_size / self->samples_per_bit + (wave_size % self->samples_per_bit != 0);
    if (clock_times != NULL) {
        clock_times[0] = -1.0;
    }
    for (j = 0; j < wave_size; j += run) {
        run = samples_before_next_event(self->cdr, wave_size - j);
        ApplyDFE(&wave[j], (int32_t)run, is_data_instant(self->cdr, run) ? self->dfe : held, 0,
                 self->sample_interval, self->cdr.decisions, &wave[j]);
        if (clock_times != NULL && clock_index < max_ticks) {
            clock_index = ApplyCDR(&wave[j], (int32_t)run, self->cdr, self->sample_interval,
                                   clock_index, clock_times);
        } else {
            own_ticks[0] = -1.0;
            own_ticks[1] = -1.0;
            (void)ApplyCDR(&wave[j], (int32_t)run, self->cdr, self->sample_interval, 0, own_ticks);
        }
    }
    return 1;
}

long AMI_Close(void *AMI_memory) {
    if (AMI_memory != NULL) {
        release((RxInstance *)AMI_memory);
    }
    return 1;
}
