// The level separation mismatch ratio of PAM4 (R_LM), as IEEE 802.3
// defines it (clauses 94.3.12.5.3 and 120D.3.1.2), from the mean voltages
// V_-1, V_-1/3, V_+1/3, V_+1 of the four levels at the sampling instant:
//   V_mid = (V_-1 + V_+1) / 2
//   ES1   = (V_-1/3 - V_mid) / (V_-1 - V_mid)
//   ES2   = (V_+1/3 - V_mid) / (V_+1 - V_mid)
//   R_LM  = min(3 ES1, 3 ES2, 2 - 3 ES1, 2 - 3 ES2)
// 1 for equally spaced levels, less the further an inner level lies from
// a third of the way between the middle and its outer one.
#ifndef AMISIM_LEVEL_MISMATCH_H
#define AMISIM_LEVEL_MISMATCH_H

#include <vector>

namespace amisim {

struct LevelMismatch {
    bool measured = false;  // false without four finite means, or outer levels that coincide
    double rlm = 0.0;
    double es1 = 0.0;
    double es2 = 0.0;
    double v_mid = 0.0;  // volts
};

// From the means of the four symbols, lowest first.
LevelMismatch level_mismatch(const std::vector<double> &means);

}  // namespace amisim

#endif  // AMISIM_LEVEL_MISMATCH_H
