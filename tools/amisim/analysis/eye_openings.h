// What the statistical eye's error rates show, read off them once they are
// computed: each eye's opening at a rate phase by phase (its contours), its
// height and width at the target rate, and the bathtubs at the target.
#ifndef AMISIM_EYE_OPENINGS_H
#define AMISIM_EYE_OPENINGS_H

#include <vector>

#include "tools/amisim/analysis/statistical_eye.h"

namespace amisim {

// Fills eye.contours, openings, time_bathtub, voltage_bathtub and
// thresholds from its rates. means[p][s] is the mean sampled voltage of
// symbol s at phase p: eye e's opening is searched between the means of
// symbols e and e + 1. Called again with other thresholds (and eye.means),
// it reads the bathtubs and widths at those.
void read_eye_figures(const std::vector<double> &thresholds,
                      const std::vector<double> &contour_bers,
                      const std::vector<std::vector<double>> &means, StatisticalEye &eye);

// Reads eye's bathtubs and widths again at other thresholds (one per eye).
void set_eye_thresholds(const std::vector<double> &thresholds, StatisticalEye &eye);

// Eye e's error rate at phase p and voltage v, interpolated between rows
// in the logarithm of the rate (the nearest row's beyond the grid).
double eye_rate_at(const StatisticalEye &eye, std::size_t e, std::size_t p, double v);

}  // namespace amisim

#endif  // AMISIM_EYE_OPENINGS_H
