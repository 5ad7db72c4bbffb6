/*
 * A minimal IBIS-AMI model from "another vendor", for exercising the stand-in
 * simulator: root name "Vendor_Gain", one parameter (gain G, a number) that
 * scales the impulse responses and every waveform block. Built in variants
 * that misbehave on purpose:
 *   FAKE_INIT_FAILS  AMI_Init returns 0 with an error message
 *   FAKE_NO_CLOSE    AMI_Close is missing
 *   FAKE_NOT_A_MODEL no IBIS-AMI entry points at all
 *   FAKE_GETWAVE_FAILS AMI_GetWave returns 0 on its second call
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

#ifdef FAKE_NOT_A_MODEL
EXPORT int vendor_version(void) {
    return 3;
}
#else

typedef struct {
    double gain;
    long calls;
    char echo[64];
} Instance;

static double read_gain(const char *parameters) {
    const char *at = parameters == NULL ? NULL : strstr(parameters, "(G ");
    return at == NULL ? 1.0 : strtod(at + 3, NULL);
}

EXPORT long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                     double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                     void **AMI_memory_handle, char **msg) {
    static char failure[] = "Vendor_Gain: refusing to start\n";
    static char none[] = "";
    Instance *self;
    long i;
    (void)sample_interval;
    (void)bit_time;
#ifdef FAKE_INIT_FAILS
    (void)impulse_matrix;
    (void)row_size;
    (void)aggressors;
    (void)AMI_parameters_in;
    *AMI_memory_handle = NULL;
    *AMI_parameters_out = none;
    *msg = failure;
    return 0;
#else
    (void)failure;
    (void)none;
    self = calloc(1, sizeof *self);
    self->gain = read_gain(AMI_parameters_in);
    snprintf(self->echo, sizeof self->echo, "(Vendor_Gain(G %g))", self->gain);
    for (i = 0; i < row_size * (aggressors + 1); ++i) {
        impulse_matrix[i] *= self->gain;
    }
    *AMI_memory_handle = self;
    *AMI_parameters_out = self->echo;
    *msg = NULL;
    return 1;
#endif
}

EXPORT long AMI_GetWave(double *wave, long wave_size, double *clock_times,
                        char **AMI_parameters_out, void *AMI_memory) {
    Instance *self = AMI_memory;
    long i;
    (void)clock_times;
#ifdef FAKE_GETWAVE_FAILS
    if (++self->calls == 2) {
        return 0;
    }
#endif
    for (i = 0; i < wave_size; ++i) {
        wave[i] *= self->gain;
    }
    *AMI_parameters_out = NULL;
    return 1;
}

#ifndef FAKE_NO_CLOSE
EXPORT long AMI_Close(void *AMI_memory) {
    free(AMI_memory);
    return 1;
}
#endif
#endif
