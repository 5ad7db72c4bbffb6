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

#include "IBIS_AMI_tree.h"
#include "Kestrom_AMI_Model.h"

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

/* Pre-emphasis data: three configurations of nine poles (rad/s) with their
 * residues, configuration i at entries 9i ... 9i + 8, and one gain each.
 * Configuration 0 belongs to TX_Corner -1, 1 to corner 0, 2 to corner 1. */
AMI_API extern const Complex TxTapPZF_poles[27];
AMI_API extern const Complex TxTapPZF_pfract[27];
AMI_API extern const double TxTapPZF_gain[3];

/* The configuration index of a corner: -1, 0, 1 give 0, 1, 2; any other
 * value gives -1. */
AMI_API int32_t TxTapPZFGetIndex(int32_t corner);

/* The peaking filter of all three corners for the sample interval (seconds):
 * filter_count 3, coef_count 10. msg and msg_size are not used. Release it
 * with DeletePeakingFilter. */
AMI_API PeakingFilter TxTapPZFGetFilter(double sample_interval, char *msg, int32_t msg_size);

AMI_EXTERN_C_END

#endif /* HALVORIN_7314_TX_H */
