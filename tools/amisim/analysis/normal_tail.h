// The standard normal distribution's upper tail Q(x) = P(X > x), its
// density and the tail's inverse, through the library's reproducible erfc,
// exp and log: the same on both word sizes, and accurate relative to the
// tail itself down to probabilities of 1e-300.
#ifndef AMISIM_NORMAL_TAIL_H
#define AMISIM_NORMAL_TAIL_H

namespace amisim {

// Q(x) = erfc(x / sqrt 2) / 2.
double normal_tail(double x);

// exp(-x^2 / 2) / sqrt(2 pi).
double normal_density(double x);

// The x with Q(x) = p, for p in (0, 1); p is clamped to [1e-300, 1 - 1e-16].
// Relative error of Q(x) against p within about 1e-14.
double normal_tail_inverse(double p);

}  // namespace amisim

#endif  // AMISIM_NORMAL_TAIL_H
