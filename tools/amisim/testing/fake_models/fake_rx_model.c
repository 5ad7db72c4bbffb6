/*
 * A receiver of known behaviour, for testing the stand-in's link: root name
 * "Fake_Rx"; it delays every response and waveform by D samples and scales
 * it by G (a linear filter whose combined response is known in closed
 * form), and its AMI_GetWave ticks at every sample n > 0 with
 * n = P (mod samples per bit), at time n * sample_interval, when T is 1.
 * Parameters: (Fake_Rx (D 3) (G 0.5) (P 4) (T 1)); defaults D 0, G 1, P 0,
 * T 1.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef struct {
    long delay;
    double gain;
    long phase;
    int ticks;
    long samples_per_bit;
    double sample_interval;
    long long sample; /* index of the next sample */
    double *line;     /* the last delay samples, oldest first */
    char echo[128];
} Instance;

static double read_number(const char *parameters, const char *name, double fallback) {
    const char *at = parameters == NULL ? NULL : strstr(parameters, name);
    return at == NULL ? fallback : strtod(at + strlen(name), NULL);
}

EXPORT long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                     double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                     void **AMI_memory_handle, char **msg) {
    Instance *self = calloc(1, sizeof *self);
    long k;
    long i;
    self->delay = (long)read_number(AMI_parameters_in, "(D ", 0.0);
    self->gain = read_number(AMI_parameters_in, "(G ", 1.0);
    self->phase = (long)read_number(AMI_parameters_in, "(P ", 0.0);
    self->ticks = (int)read_number(AMI_parameters_in, "(T ", 1.0);
    self->samples_per_bit = (long)(bit_time / sample_interval + 0.5);
    self->sample_interval = sample_interval;
    if (self->delay < 0) {
        self->delay = 0;
    }
    self->line = calloc((size_t)self->delay + 1, sizeof *self->line);
    snprintf(self->echo, sizeof self->echo, "(Fake_Rx(D %ld)(G %g)(P %ld)(T %d))", self->delay,
             self->gain, self->phase, self->ticks);
    for (k = 0; k <= aggressors; ++k) {
        double *column = impulse_matrix + k * row_size;
        for (i = row_size - 1; i >= 0; --i) {
            column[i] = i >= self->delay ? self->gain * column[i - self->delay] : 0.0;
        }
    }
    *AMI_memory_handle = self;
    *AMI_parameters_out = self->echo;
    *msg = NULL;
    return 1;
}

EXPORT long AMI_GetWave(double *wave, long wave_size, double *clock_times,
                        char **AMI_parameters_out, void *AMI_memory) {
    Instance *self = AMI_memory;
    long i;
    long written = 0;
    long spb = self->samples_per_bit;
    for (i = 0; i < wave_size; ++i) {
        const long long n = self->sample + i;
        double out = wave[i];
        if (self->delay > 0) {
            out = self->line[0];
            memmove(self->line, self->line + 1, (size_t)(self->delay - 1) * sizeof *self->line);
            self->line[self->delay - 1] = wave[i];
        }
        wave[i] = self->gain * out;
        if (self->ticks && n > 0 && ((n - self->phase) % spb + spb) % spb == 0) {
            clock_times[written++] = (double)n * self->sample_interval;
        }
    }
    clock_times[written] = -1.0;
    self->sample += wave_size;
    *AMI_parameters_out = NULL;
    return 1;
}

EXPORT long AMI_Close(void *AMI_memory) {
    Instance *self = AMI_memory;
    free(self->line);
    free(self);
    return 1;
}
