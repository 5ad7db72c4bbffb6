#include "tools/amisim/analysis/pam_eyes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace amisim {

PamEyes read_pam_eyes(const EyeDensity &density, const PamEyeSettings &settings) {
    PamEyes pam;
    const int spb = density.samples_per_bit();
    const int eyes = density.levels() - 1;
    std::vector<double> lower;
    std::vector<double> upper;
    for (int e = 0; e < eyes; ++e) {
        const auto index = static_cast<std::size_t>(e);
        PamEye eye;
        eye.figures = eye_figures(density, e);
        if (settings.at_centre) {
            const int offset = index < settings.offsets.size() ? settings.offsets[index] : 0;
            eye.slot = ((spb / 2 + offset) % spb + spb) % spb;
        } else {
            eye.slot = eye.figures.best_slot;
        }
        eye_edges(density, e, lower, upper);
        const auto at = static_cast<std::size_t>(eye.slot);
        eye.measured = std::isfinite(lower[at]) && std::isfinite(upper[at]);
        if (eye.measured) {
            eye.lower = lower[at];
            eye.upper = upper[at];
            eye.height = eye.upper - eye.lower;
        }
        const double given =
            index < settings.thresholds.size() ? settings.thresholds[index] : std::nan("");
        eye.own_centre = std::isnan(given);
        eye.threshold = !eye.own_centre ? given
                        : eye.measured  ? 0.5 * (eye.lower + eye.upper)
                                        : std::nan("");
        // The margin of the threshold from the nearer edge, slot by slot.
        std::vector<double> margin(lower.size(), std::nan(""));
        for (std::size_t s = 0; s < margin.size(); ++s) {
            if (std::isfinite(lower[s]) && std::isfinite(upper[s])) {
                margin[s] = std::min(upper[s] - eye.threshold, eye.threshold - lower[s]);
            }
        }
        if (margin[at] > 0.0) {
            eye.width = open_span(margin, eye.slot);
        }
        pam.eyes.push_back(eye);
    }
    pam.level_means = density.centre_means();
    pam.mismatch = level_mismatch(pam.level_means);
    return pam;
}

}  // namespace amisim
