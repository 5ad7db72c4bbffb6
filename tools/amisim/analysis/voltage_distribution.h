// The exact distribution of a sum of independent discrete terms, such as a
// sampled voltage over every pattern of the symbols around it: masses on a
// voltage grid of a fixed step, built by successive convolution, one term
// at a time.
//
// A term's values seldom fall on the grid: each is split between its two
// neighbouring grid points in proportion to its distance from them, which
// keeps the mean exact and moves no mass by more than a step. Each term is
// anchored at its lowest value, added to the base exactly, so its other
// values move up from there: the lowest value of the sum (the worst case of
// a distribution's lower tail) lies exactly at the base, and the values
// near it carry the rounding of few terms. The upper tail is read from the
// distribution of the negated sum, built the same way.
#ifndef AMISIM_VOLTAGE_DISTRIBUTION_H
#define AMISIM_VOLTAGE_DISTRIBUTION_H

#include <cstddef>
#include <vector>

namespace amisim {

// Masses below this are dropped as they arise: far below any error rate
// the eye reports, and above the subnormal numbers that would slow every
// sum that meets them.
inline constexpr double kMassFloor = 1e-200;

struct VoltageDistribution {
    double base = 0.0;              // volts at mass[0]
    std::vector<double> mass{1.0};  // mass[i] at base + i step; a Dirac at 0 to start with
};

// Adds the independent term cursor L, L equally likely among levels.
void add_term(VoltageDistribution &distribution, double cursor, const std::vector<double> &levels,
              double step);

// The mixture, with equal weights, of distributions on the same step, onto
// the grid of the lowest base (the others split between grid points).
VoltageDistribution mixture(const std::vector<VoltageDistribution> &parts, double step);

// The distribution of the sum of two independent ones on the same step:
// exact, the grid points adding up.
VoltageDistribution sum_of(const VoltageDistribution &a, const VoltageDistribution &b);

// P(X + offset + N < t) for the thresholds t = origin + r step, r = 0 ..
// rows - 1, N Gaussian of standard deviation sigma (none for 0), into
// out[0 .. rows - 1]. Without noise a mass exactly at a threshold does not
// count as below it.
void lower_tail(const VoltageDistribution &distribution, double step, double offset, double origin,
                std::size_t rows, double sigma, double *out);

}  // namespace amisim

#endif  // AMISIM_VOLTAGE_DISTRIBUTION_H
