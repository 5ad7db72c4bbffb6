#include "tools/amisim/analysis/symbol_error_rates.h"

#include <cstddef>

#include "tools/amisim/analysis/eye_openings.h"

namespace amisim {

SymbolErrorRates combine_eye_rates(const std::vector<double> &by_eye, SymbolMapping mapping) {
    SymbolErrorRates rates;
    const int bits = bits_per_symbol(static_cast<int>(by_eye.size()) + 1);
    for (std::size_t e = 0; e < by_eye.size(); ++e) {
        const int low = static_cast<int>(e);
        rates.by_eye.push_back(by_eye[e]);
        rates.ser += by_eye[e];
        rates.ber += by_eye[e] * bit_errors(low, low + 1, mapping);
    }
    if (bits > 0) {
        rates.ber /= bits;
    }
    return rates;
}

SymbolErrorRates statistical_error_rates(const StatisticalEye &eye,
                                         const std::vector<double> &thresholds,
                                         const std::vector<int> &offsets, SymbolMapping mapping) {
    const int spb = eye.samples_per_bit;
    if (spb < 1 || thresholds.size() < eye.eyes || eye.eyes == 0) {
        return {};
    }
    std::vector<double> by_eye;
    for (std::size_t e = 0; e < eye.eyes; ++e) {
        const int offset = e < offsets.size() ? offsets[e] : 0;
        const auto phase = static_cast<std::size_t>(((spb / 2 + offset) % spb + spb) % spb);
        by_eye.push_back(eye_rate_at(eye, e, phase, thresholds[e]));
    }
    return combine_eye_rates(by_eye, mapping);
}

std::vector<double> statistical_centre_thresholds(const StatisticalEye &eye) {
    std::vector<double> centres;
    const std::size_t centre = eye.phases.size() / 2;
    for (std::size_t e = 0; e < eye.eyes; ++e) {
        const EyeOpening &opening = eye.openings[e];
        if (opening.open) {
            centres.push_back(0.5 * (opening.lower + opening.upper));
        } else {
            centres.push_back(0.5 * (eye.means[centre][e] + eye.means[centre][e + 1]));
        }
    }
    return centres;
}

}  // namespace amisim
