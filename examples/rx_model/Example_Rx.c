/*
 * Example_Rx: an IBIS-AMI receiver built on the Kestrom AMI toolkit.
 *
 *   CTLE  a continuous-time linear equaliser: one zero and two real poles,
 *         gain 1 at DC, run as the toolkit's peaking filter;
 *   DFE   a decision feedback equaliser: in AMI_Init its taps cancel the
 *         post-cursors of the equalised impulse response (auto mode); in
 *         AMI_GetWave it feeds the recovered bits back, adapting its taps;
 *   CDR   clock and data recovery: decides the bits the DFE feeds back and
 *         writes the clock ticks into the simulator's clock_times.
 *
 * The model's parameters are read with the toolkit's parameter tree; see
 * Example_Rx.ami. Everything an instance owns hangs off its RxInstance, so
 * instances are independent and the model keeps no global state.
 */
#include <math.h>
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

enum { CTLE_ZERO, CTLE_POLE1, CTLE_POLE2, DFE_MODE, DFE_TAPS, CDR_MODE, PARAM_COUNT };

typedef struct RxInstance {
    Param entries[PARAM_COUNT];
    PeakingFilter ctle;
    DFE dfe;
    CDR cdr;
    double sample_interval; /* s */
    char *params_out;       /* echo, lent to the simulator */
    char *msg;              /* message string, lent to the simulator */
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

/* Nothing half-built is handed out: a null instance (which AMI_GetWave and
 * AMI_Close accept), an explanation and the standard's failure result. */
static long fail_init(RxInstance *partial, char **parameters_out, void **memory_handle,
                      char **msg) {
    static char out_of_memory[] = "**Error** " MODEL_NAME ": out of memory in AMI_Init.\n";
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
        *msg = out_of_memory;
    }
    return 0;
}

long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
              double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
              void **AMI_memory_handle, char **msg) {
    RxInstance *self;
    int32_t configured = 0;
    int32_t samples_per_bit;
    long k;

    self = AMI_memory_handle == NULL ? NULL : (RxInstance *)calloc(1, sizeof *self);
    if (self == NULL) {
        return fail_init(NULL, AMI_parameters_out, AMI_memory_handle, msg);
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
        return fail_init(self, AMI_parameters_out, AMI_memory_handle, msg);
    }

    /* Every response through the CTLE, each from rest; the DFE's correction
     * on the through response only, since it cancels the victim's own
     * post-cursors. */
    if (impulse_matrix != NULL && row_size > 0) {
        for (k = 0; k <= aggressors; ++k) {
            double *response = impulse_matrix + k * row_size;
            ApplyPeakingFilter(response, (int32_t)row_size, self->ctle, 0, 1, response);
        }
        if (aggressors >= 0) {
            ApplyDFE(impulse_matrix, (int32_t)row_size, self->dfe, 1, sample_interval, NULL,
                     impulse_matrix);
        }
    }

    self->params_out = GrowTree(MODEL_NAME, PARAM_COUNT, self->entries);
    if (self->params_out == NULL) {
        return fail_init(self, AMI_parameters_out, AMI_memory_handle, msg);
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
     * and the instant itself alone. Without a clock_times array from the
     * simulator the ticks go to a scratch pair. */
    for (j = 0; j < wave_size; j += run) {
        run = samples_before_next_event(self->cdr, wave_size - j);
        ApplyDFE(&wave[j], (int32_t)run, is_data_instant(self->cdr, run) ? self->dfe : held, 0,
                 self->sample_interval, self->cdr.decisions, &wave[j]);
        if (clock_times != NULL) {
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
