// The dual-Dirac model of a jitter histogram: two Gaussians of standard
// deviation sigma at mu_left and mu_right, so that the deterministic jitter
// is mu_right - mu_left and the random jitter sigma. Each tail is fitted on
// its own, on the Q scale: where the tail holds the share F(x) of the
// crossings beyond x, the model says F(x) = rho Q(|x - mu| / sigma), so
// Q^-1(F / rho) is linear in x, with slope 1 / sigma; rho, the weight of
// the tail's Gaussian, is the one whose line fits best. The points are the
// histogram's bin edges where the tail holds at least 16 crossings and at
// most a quarter of them, weighted by the inverse of their binomial
// variance on that scale.
//
// With the tails free in rho, a purely Gaussian histogram fits with rho
// near 1 and the two means together (no deterministic jitter); two Diracs
// under a Gaussian fit with rho near 1/2 at each. A tail of fewer than
// three such points (jitter narrower than the histogram's bins) is taken
// as a Dirac at its outermost bin's centre, sigma 0.
#ifndef AMISIM_DUAL_DIRAC_H
#define AMISIM_DUAL_DIRAC_H

#include "tools/amisim/analysis/crossing_jitter.h"

namespace amisim {

struct DualDiracFit {
    bool fitted = false;  // false without crossings
    // UI: the deterministic jitter mu_right - mu_left (slightly negative
    // for purely random jitter, by the scatter of the fit) and the random
    // jitter, the mean of the tails' sigmas.
    double dj = 0.0;
    double rj = 0.0;
    double mu_left = 0.0;
    double mu_right = 0.0;
    double sigma_left = 0.0;
    double sigma_right = 0.0;
    double rho_left = 0.0;
    double rho_right = 0.0;
    double transition_density = 0.0;  // crossings per unit interval
};

DualDiracFit fit_dual_dirac(const TieHistogram &histogram);

// The total jitter at an error rate, UI: the distance between where each
// tail's Gaussian leaves a share ber / (transition density rho) beyond it,
//   (mu_right + sigma_right Q^-1(ber / (d rho_right)))
//   - (mu_left - sigma_left Q^-1(ber / (d rho_left))).
double total_jitter(const DualDiracFit &fit, double ber);

}  // namespace amisim

#endif  // AMISIM_DUAL_DIRAC_H
