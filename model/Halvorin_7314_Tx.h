/*
 * Halvorin_7314_Tx: IBIS-AMI transmitter model with recursive pre-emphasis.
 *
 * The three entry points follow the IBIS-AMI standard. The model reads two
 * parameters from the simulator's parameter string:
 *   TX_Corner   process corner, -1, 0 or 1 (default 0)
 *   TX_Preemph  pre-emphasis off (0, default) or on (1)
 * The output parameter string and the message string stay owned by the model
 * instance until AMI_Close; the simulator reads them and must not free them.
 */
#ifndef HALVORIN_7314_TX_H
#define HALVORIN_7314_TX_H

#include <stdint.h>

#include "blocks/Kestrom_AMI_Model.h"
#include "common/ami_api.h"
#include "tree/IBIS_AMI_tree.h"

AMI_EXTERN_C_BEGIN

/* One model instance, from AMI_Init to AMI_Close. */
typedef struct AmiMemory {
    PeakingFilter filter; /* pre-emphasis for the three corners, with its running state */
    int32_t tx_corner;    /* validated TX_Corner: -1, 0 or 1 */
    int32_t tx_preemph;   /* validated TX_Preemph: 0 or 1 */
    ParamBranch params;   /* "Halvorin_7314_Tx" with TX_Corner and TX_Preemph */
    char *params_out;     /* echo of the parameters used, lent to the simulator */
    char *msg;            /* message string, lent to the simulator; null while empty */
} AmiMemory;

AMI_API long AMI_Init(double *impulse_matrix, long row_size, long aggressors,
                      double sample_interval, double bit_time, char *AMI_parameters_in,
                      char **AMI_parameters_out, void **AMI_memory_handle, char **msg);

AMI_API long AMI_GetWave(double *wave, long wave_size, double *clock_times,
                         char **AMI_parameters_out, void *AMI_memory);

AMI_API long AMI_Close(void *AMI_memory);

AMI_EXTERN_C_END

#endif /* HALVORIN_7314_TX_H */
