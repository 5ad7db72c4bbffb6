// Jitter as the statistical eye applies it: a random displacement of the
// sampling phase, independent of the symbols, so that the distribution of
// the sampled voltage at phase t is the distribution at phase t + tau
// averaged over the displacement tau. The eye has distributions at phases
// a fixed step apart; between two of them the distribution is taken as
// the mixture of theirs, weighted as linear interpolation weights them. So
// a displacement tau (in steps) gives weight 1 - f to step floor(tau) and
// f to the one after it (f its fraction), and the weight of each
// whole-step displacement d is the jitter's density integrated against
// that triangle:
//   w(d) = E[max(0, 1 - |tau - d|)].
//
// The displacement is the sum of the transmitter's and the receiver's
// jitter, all components independent: Gaussian (standard deviations added
// in quadrature), dual Diracs at +-dj/2 and +-dcd/2 of weight 1/2 each, and
// the sinusoid's displacement sj sin(phi) at a phase phi uniform over its
// period (the arcsine distribution: at any instant the sinusoid is at an
// unknown point of its cycle, so its frequency plays no part here; it
// matters in the waveform run, where a receiver's clock recovery may
// follow a slow one). Transmitter jitter thus moves the sampling phase
// rather than each edge apart: a shift of the whole pulse train.
//
// The distribution is built on a grid finer than a step (h: a quarter of
// the Gaussian's standard deviation, between 1/1024 and 1/32 of a step) by
// exact convolution: the Diracs and 4 points per grid step of the arcsine
// placed by linear splitting, then the Gaussian's weight on each grid step
// integrated by 8-point Gauss-Legendre rules over each half of its
// triangle (kept to 10 standard deviations, beyond which less than 1e-23
// lies). A Gaussian narrower than two grid steps at the finest is left
// out: it moves the phase by less than 1/500 of a step.
#ifndef AMISIM_PHASE_JITTER_H
#define AMISIM_PHASE_JITTER_H

#include <vector>

#include "tools/amisim/stimulus/jitter.h"

namespace amisim {

struct PhaseWeights {
    int reach = 0;                // the largest |d| with a weight
    std::vector<double> weights;  // w(d) for d = -reach .. reach, at d + reach
    double at(int d) const {
        return d < -reach || d > reach ? 0.0 : weights[static_cast<std::size_t>(d + reach)];
    }
};

// The weights of the sum of tx and rx, times in seconds, on phases a step
// (seconds) apart.
PhaseWeights sampling_phase_weights(const Jitter &tx, const Jitter &rx, double step);

}  // namespace amisim

#endif  // AMISIM_PHASE_JITTER_H
