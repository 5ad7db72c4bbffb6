// The transmitter's pre-emphasis data, nine poles with residues and a gain
// for each process corner, and the corner-to-configuration mapping.
#include <cstdint>

#include "Halvorin_7314_Tx.h"
#include "Kestrom_AMI_Model.h"

namespace {

constexpr int32_t kCorners[3] = {-1, 0, 1};
constexpr int32_t kConfigCount = 3;
constexpr int32_t kPolesPerConfig = 9;

}  // namespace

// Rows with a zero residue end a configuration's pole list, so their poles
// never enter a filter. Configuration 0 uses poles 0 to 2, configurations 1
// and 2 use poles 0 and 1.
const Complex TxTapPZF_poles[27] = {
    // configuration 0, corner -1
    {-2042500532261.6, 0.0},
    {-22372204894.669, 20443435035.049},
    {-22372204894.669, -20443435035.049},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    // configuration 1, corner 0
    {-18788999387.05, -39803606439.813},
    {-18788999387.05, 39803606439.813},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {1000000000000.0, 0.0},
    {1000000000000.0, 0.0},
    // configuration 2, corner 1
    {-19939761959.298, -31979217852.22},
    {-19939761959.297, 31979217852.22},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {-502654824574.37, 0.0},
    {1000000000000.0, 0.0},
    {1000000000000.0, 0.0},
    {1000000000000.0, 0.0},
};

const Complex TxTapPZF_pfract[27] = {
    // configuration 0, corner -1
    {1.2293025262739, 2.8657136639735e-16},
    {-0.11596809279523, 0.61426789834374},
    {-0.11596809279523, -0.61426789834374},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    // configuration 1, corner 0
    {0.49974533806475, -0.54108666515938},
    {0.49974533806475, 0.54108666515938},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    // configuration 2, corner 1
    {0.49911529209871, -0.62203521790454},
    {0.49911529209871, 0.62203521790454},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
    {0.0, 0.0},
};

const double TxTapPZF_gain[3] = {1.0, 1.0, 1.0};

int32_t TxTapPZFGetIndex(int32_t corner) {
    for (int32_t i = 0; i < kConfigCount; ++i) {
        if (kCorners[i] == corner) {
            return i;
        }
    }
    return -1;
}

PeakingFilter TxTapPZFGetFilter(double sample_interval, char *msg, int32_t msg_size) {
    // The design copies what it keeps, so working copies of the tables on
    // the stack are enough and the tables are never handed out writable.
    Complex poles[kConfigCount][kPolesPerConfig];
    Complex residues[kConfigCount][kPolesPerConfig];
    Complex *pole_rows[kConfigCount];
    Complex *residue_rows[kConfigCount];
    for (int32_t i = 0; i < kConfigCount; ++i) {
        for (int32_t k = 0; k < kPolesPerConfig; ++k) {
            poles[i][k] = TxTapPZF_poles[kPolesPerConfig * i + k];
            residues[i][k] = TxTapPZF_pfract[kPolesPerConfig * i + k];
        }
        pole_rows[i] = poles[i];
        residue_rows[i] = residues[i];
    }
    return SetupPeakingFilter(sample_interval, kPolesPerConfig, kConfigCount, pole_rows,
                              residue_rows, TxTapPZF_gain, msg, msg_size);
}
