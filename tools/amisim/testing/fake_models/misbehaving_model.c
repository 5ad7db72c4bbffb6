/*
 * Models that misbehave in the ways a model host has to contain, one way
 * per build (-D):
 *   FAKE_CRASH_IN_INIT    AMI_Init writes to an address that is not mapped
 *   FAKE_CRASH_AT_CALL=N  AMI_GetWave does so on its N-th call
 *   FAKE_HANG_IN_INIT     AMI_Init never returns
 *   FAKE_HANG_IN_GETWAVE  AMI_GetWave never returns on its second call
 *   FAKE_EXIT             AMI_GetWave calls exit(3) on its second call
 *   FAKE_ABORT            AMI_GetWave calls abort() on its second call
 *   FAKE_OVERRUN_WAVE     AMI_GetWave writes wave[wave_size]
 *   FAKE_OVERRUN_CLOCK    AMI_GetWave writes clock_times[wave_size + 1], one
 *                         past the room of a receiver's clock times (a tick
 *                         per sample and the -1 after them)
 *   FAKE_OVERRUN_IMPULSE  AMI_Init writes one sample past the impulse matrix
 *   FAKE_UNDEFINED_SYMBOL needs a function no library defines: cannot load
 * Otherwise (and until it misbehaves) a gain of 1 whose AMI_Init message is
 * "Misbehaving: ready" and whose AMI_GetWave returns "(Misbehaving(call N))",
 * for reports that quote the model's last message.
 */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

typedef struct {
    long calls;
    char echo[64];
} Instance;

static void crash(void) {
    *(volatile int *)16 = 1; /* the first page is never mapped */
}

static void hang(void) {
    for (;;) {
        sleep(1);
    }
}

#ifdef FAKE_UNDEFINED_SYMBOL
extern int vendor_licence_check(void);
#endif

EXPORT long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                     double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                     void **AMI_memory_handle, char **msg) {
    static char ready[] = "Misbehaving: ready";
    Instance *self = calloc(1, sizeof *self);
    (void)sample_interval;
    (void)bit_time;
    (void)AMI_parameters_in;
    (void)impulse_matrix;
    (void)row_size;
    (void)aggressors;
#ifdef FAKE_CRASH_IN_INIT
    crash();
#endif
#ifdef FAKE_HANG_IN_INIT
    hang();
#endif
#ifdef FAKE_OVERRUN_IMPULSE
    impulse_matrix[row_size * (aggressors + 1)] = 0.0;
#endif
#ifdef FAKE_UNDEFINED_SYMBOL
    self->calls = vendor_licence_check();
#endif
    *AMI_memory_handle = self;
    *AMI_parameters_out = NULL;
    *msg = ready;
    return 1;
}

EXPORT long AMI_GetWave(double *wave, long wave_size, double *clock_times,
                        char **AMI_parameters_out, void *AMI_memory) {
    Instance *self = AMI_memory;
    const long call = ++self->calls;
    (void)wave;
    (void)wave_size;
    (void)clock_times;
    (void)call;
#ifdef FAKE_CRASH_AT_CALL
    if (call == FAKE_CRASH_AT_CALL) {
        crash();
    }
#endif
#ifdef FAKE_HANG_IN_GETWAVE
    if (call == 2) {
        hang();
    }
#endif
#ifdef FAKE_EXIT
    if (call == 2) {
        exit(3);
    }
#endif
#ifdef FAKE_ABORT
    if (call == 2) {
        abort();
    }
#endif
#ifdef FAKE_OVERRUN_WAVE
    wave[wave_size] = 0.0;
#endif
#ifdef FAKE_OVERRUN_CLOCK
    clock_times[wave_size + 1] = 0.0;
#endif
    snprintf(self->echo, sizeof self->echo, "(Misbehaving(call %ld))", call);
    *AMI_parameters_out = self->echo;
    return 1;
}

EXPORT long AMI_Close(void *AMI_memory) {
    free(AMI_memory);
    return 1;
}
