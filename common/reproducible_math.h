// exp, log, sin, cos, tanh and erfc computed in plain IEEE double arithmetic, so that
// the i386 and x86-64 libraries give bit-identical results. The system's libm
// cannot promise that: its i386 build takes other code paths (x87) and
// differs from the x86-64 one in the last bit for a fraction of arguments.
//
// Accuracy: within one unit in the last place. sin and cos reduce their
// argument with pi/2 held to 118 bits, which keeps that accuracy for
// |x| < 2^20 * pi/2 (about 1.6e6); beyond it results stay reproducible but
// lose accuracy as |x| grows. tanh keeps it over the whole range, with
// tanh(+-0) = +-0, tanh(+-inf) = +-1 and NaN passed through. log keeps it
// for every positive double, subnormals included (log(0) = -inf, negative
// arguments NaN). erfc is within three units over the whole range, its tail
// (down to subnormal results near x = 27) with the same relative accuracy,
// which is what probabilities of rare events need.
#ifndef AMI_COMMON_REPRODUCIBLE_MATH_H
#define AMI_COMMON_REPRODUCIBLE_MATH_H

namespace ami {

double reproducible_exp(double x);
double reproducible_log(double x);
double reproducible_sin(double x);
double reproducible_cos(double x);
double reproducible_tanh(double x);
double reproducible_erfc(double x);

}  // namespace ami

#endif  // AMI_COMMON_REPRODUCIBLE_MATH_H
