// The eyes of a waveform eye of any number of levels (EyeAccumulator's or
// ClockedEye's density) as a receiver of that many levels reads them: each
// eye's opening where it is read, its decision threshold (given, or the
// middle of its opening there), its width at that threshold, and the
// levels' means at the centre with the level mismatch of PAM4.
#ifndef AMISIM_PAM_EYES_H
#define AMISIM_PAM_EYES_H

#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/eye_density.h"
#include "tools/amisim/analysis/level_mismatch.h"

namespace amisim {

struct PamEyeSettings {
    // One per eye, lowest first, volts; NaN, or none given, where the
    // threshold is the eye's own centre: the middle of its opening where it
    // is read.
    std::vector<double> thresholds;
    // Read at the centre slot (samples_per_bit / 2: in a ClockedEye the
    // receiver's sampling instant, on the symbol grid the main cursor),
    // each eye moved from it by its offset; otherwise each eye at its own
    // best slot.
    bool at_centre = false;
    std::vector<int> offsets;  // one per eye, lowest first, samples; none: 0
};

struct PamEye {
    EyeFigures figures;     // at the eye's best slot, whatever the threshold
    bool measured = false;  // the slot read saw symbols above the eye and below it
    int slot = 0;           // the slot read
    double height = 0.0;    // volts, upper edge less lower at the slot (negative: closed)
    double lower = 0.0;     // the edges at the slot, volts
    double upper = 0.0;
    double threshold = 0.0;  // volts; NaN where it is the own centre of an eye not measured
    bool own_centre = false;
    // Samples around the slot over which the threshold lies between the
    // edges (their straight lines between slots, as for EyeFigures::width);
    // 0 where it does not at the slot.
    double width = 0.0;
};

struct PamEyes {
    std::vector<PamEye> eyes;         // lowest first
    std::vector<double> level_means;  // each symbol's at the centre slot, volts
    LevelMismatch mismatch;           // from them, with four levels
};

PamEyes read_pam_eyes(const EyeDensity &density, const PamEyeSettings &settings);

}  // namespace amisim

#endif  // AMISIM_PAM_EYES_H
