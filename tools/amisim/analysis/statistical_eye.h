// The statistical eye: at each sampling phase of the unit interval, the
// exact distribution of the sampled voltage for each symbol sent, over
// every pattern of the symbols around it, and from it the error rate at
// every (phase, threshold), its contours, the eye's height and width at a
// target error rate, and the bathtubs in time and in voltage.
//
// The sampled voltage at phase o (samples from the centre c) for symbol s
// is  L_s p[c + o] + sum over k != 0 of B_k p[c + o + k spb]
//     + the aggressors' sum + Gaussian noise,
// with p the victim's pulse response, the B_k independent and equally
// likely among the levels. The sum over k (inter-symbol interference) is
// built exactly by successive convolution on a voltage grid (see
// voltage_distribution.h), once anchored at its lowest value for the lower
// tails and once at its highest for the upper ones. Each aggressor adds the
// same sum over all of its cursors, at a phase uniformly distributed over
// the unit interval (its own symbols, its own clock): the mixture of its
// samples_per_bit phase distributions, convolved with the victim's. Noise
// at the decision point is applied exactly, as the Gaussian's tail beyond
// the distance of each grid point from each threshold. Jitter moves the
// sampling phase (see phase_jitter.h): the eye's error rates at each phase
// are the rates at the phases around it, mixed by the jitter's weights.
// With jitter those phases lie closer than a sample, 128 per unit interval
// at least, the pulse response between two samples being the straight
// line between them (as a waveform sampled between its samples is); the
// phases reported are the whole samples.
//
// Each eye lies between two adjacent levels, e and e + 1, with its decision
// threshold between them; its error rate at threshold t counts the symbols
// on the wrong side of t: (1/M) (sum over s > e of P(V_s < t) + sum over
// s <= e of P(V_s > t)), M levels. With two levels that is the bit error
// rate 1/2 P(V_1 < t) + 1/2 P(V_0 > t).
#ifndef AMISIM_STATISTICAL_EYE_H
#define AMISIM_STATISTICAL_EYE_H

#include <cstddef>
#include <string>
#include <vector>

#include "tools/amisim/stimulus/jitter.h"

namespace amisim {

// Error rates of the contours by default: 1e-3, 1e-4, ... 1e-15.
std::vector<double> default_contour_rates();

struct StatisticalEyeSettings {
    // The victim's pulse response: its response to one symbol of amplitude
    // 1 lasting one unit interval (samples_per_bit samples), as I2P makes it
    // from the combined impulse response (ResponseFigures::pulse).
    std::vector<double> pulse;
    // The sample of the pulse response at phase 0, the eye's centre:
    // normally its main cursor (ResponseFigures::eye_centre).
    std::size_t centre = 0;
    // The aggressors' pulse responses, the same kind on the same sample grid.
    std::vector<std::vector<double>> aggressors;
    int samples_per_bit = 32;                  // phases per unit interval
    double sample_interval = 1e-12;            // s
    std::vector<double> levels = {-0.5, 0.5};  // volts, ascending, equally likely
    std::vector<double> thresholds = {0.0};    // one per eye, between its two levels
    double noise_sigma = 0.0;                  // volts at the decision point
    Jitter tx_jitter;                          // seconds; sj_frequency plays no part here
    Jitter rx_jitter;
    double target_ber = 1e-12;
    std::vector<double> contour_bers = default_contour_rates();
    // The grid's step is the widest span of the sampled voltage at any
    // phase (every level times every cursor) over this many steps, or a
    // 64th of the noise's sigma where that is larger (the noise then
    // smooths the grid's rounding away).
    int voltage_bins = 1024;
};

// Where one eye's error rate is at most a given rate, phase by phase: the
// lowest and the highest threshold (volts) of the opening, NaN where the
// eye is closed at that rate. Between grid rows the ends are interpolated
// in the logarithm of the rate.
struct EyeContour {
    double ber = 0.0;
    std::vector<double> lower;
    std::vector<double> upper;
};

// One eye at the target error rate.
struct EyeOpening {
    bool open = false;
    std::size_t best_phase = 0;  // index into phases: the greatest height
    double height = 0.0;         // volts, at the best phase
    double lower = 0.0;          // the opening at the best phase, volts
    double upper = 0.0;
    // The width at the eye's decision threshold, within the unit interval
    // around the centre: from left to right (UI from the centre), around
    // the phase of the lowest rate; an end the eye is open up to is the
    // unit interval's edge.
    double width = 0.0;
    double left = 0.0;
    double right = 0.0;
};

struct StatisticalEye {
    int samples_per_bit = 0;
    std::vector<double> phases;  // UI from the centre: -1/2, ... 1/2 - 1/spb
    // The thresholds of the rows: origin + r step, r = 0 .. rows - 1; the
    // first eye's threshold is one of them.
    double threshold_origin = 0.0;
    double threshold_step = 0.0;
    std::size_t rows = 0;
    std::size_t eyes = 0;
    // The error rate of eye e at phase p and row r: ber[(e * phases + p) * rows + r].
    std::vector<double> ber;
    // The probability that the sampled voltage (any symbol) lies in
    // [t_r, t_r + step) at phase p: density[p * rows + r].
    std::vector<double> density;
    double target_ber = 0.0;
    std::vector<std::vector<EyeContour>> contours;  // [eye][contour]
    std::vector<EyeOpening> openings;               // [eye], at the target
    // At the target: the error rate at each phase at the eye's threshold,
    // and at each row at the eye's best phase.
    std::vector<std::vector<double>> time_bathtub;     // [eye][phase]
    std::vector<std::vector<double>> voltage_bathtub;  // [eye][row]
    // The thresholds the time bathtubs and widths are read at, one per eye.
    std::vector<double> thresholds;
    // The mean sampled voltage of each symbol at each phase: means[phase][symbol].
    std::vector<std::vector<double>> means;

    double at(std::size_t eye, std::size_t phase, std::size_t row) const {
        return ber[(eye * phases.size() + phase) * rows + row];
    }
    double threshold(std::size_t row) const {
        return threshold_origin + static_cast<double>(row) * threshold_step;
    }
};

// False, with a message, for settings it cannot use: no pulse response or
// one of zeros, a pulse response that is not finite, levels not ascending or fewer than two, a
// threshold count other than levels - 1, a centre outside the response, fewer than 1 sample per bit
// or grid step, a sample interval, noise or jitter that is negative or not finite, or an error rate
// outside (0, 1).
bool compute_statistical_eye(const StatisticalEyeSettings &settings, StatisticalEye &eye,
                             std::string &error);

}  // namespace amisim

#endif  // AMISIM_STATISTICAL_EYE_H
