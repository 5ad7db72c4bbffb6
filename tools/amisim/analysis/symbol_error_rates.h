// The symbol and bit error rates the statistical eye gives a receiver that
// decides each eye at its own threshold and sampling phase.
//
// Eye e's rate at threshold t is the share of all symbols on the wrong side
// of t (see statistical_eye.h). Their sum over the eyes counts a symbol
// decided k levels away k times: it is the symbol error rate where errors
// reach only the neighbouring levels, as they do wherever rates are low,
// and above it otherwise. An error across eye e turns the bits in which
// the code words of symbols e and e + 1 differ (one, with Gray mapping), so
// the bit error rate is the sum of each eye's rate times those bits, over
// the bits of a symbol.
#ifndef AMISIM_SYMBOL_ERROR_RATES_H
#define AMISIM_SYMBOL_ERROR_RATES_H

#include <vector>

#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

struct SymbolErrorRates {
    std::vector<double> by_eye;  // lowest first
    double ser = 0.0;
    double ber = 0.0;
};

// The symbol and bit error rates of each eye's rate, lowest eye first.
SymbolErrorRates combine_eye_rates(const std::vector<double> &by_eye, SymbolMapping mapping);

// At thresholds (one per eye, volts) and each eye's phase, offsets[e]
// samples from the centre (none given: 0), wrapped into the unit interval.
SymbolErrorRates statistical_error_rates(const StatisticalEye &eye,
                                         const std::vector<double> &thresholds,
                                         const std::vector<int> &offsets, SymbolMapping mapping);

// Each eye's own centre: the middle of its opening at the target rate at
// its best phase, or where it is closed there, half-way between the means
// of its two levels at the centre phase.
std::vector<double> statistical_centre_thresholds(const StatisticalEye &eye);

}  // namespace amisim

#endif  // AMISIM_SYMBOL_ERROR_RATES_H
