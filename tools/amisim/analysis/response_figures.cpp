#include "tools/amisim/analysis/response_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Kestrom_AMI_Model.h"

namespace amisim {

double decibels(double ratio) {
    return ratio == 0.0 ? -HUGE_VAL : 20.0 * std::log10(std::fabs(ratio));
}

ResponseFigures measure_response(const std::vector<double> &impulse, int samples_per_bit,
                                 double sample_interval) {
    ResponseFigures figures;
    for (double h : impulse) {
        figures.peak = std::max(figures.peak, std::fabs(h));
        figures.area += h * sample_interval;
    }
    const auto bit = static_cast<std::size_t>(std::max(samples_per_bit, 1));
    std::vector<double> h = impulse;
    h.resize((impulse.size() + bit - 1 + bit - 1) / bit * bit, 0.0);
    const auto n = static_cast<std::int32_t>(h.size());
    const std::int32_t spb = samples_per_bit;
    figures.pulse.assign(h.size(), 0.0);
    I2P(figures.pulse.data(), h.data(), n, spb, sample_interval);
    figures.max_level = MAX(h.data(), n, spb, sample_interval);
    figures.pda = PDA(h.data(), n, spb, sample_interval);
    figures.snr = SNR(h.data(), n, spb, sample_interval, kSnrThreshold);

    const std::vector<double> &p = figures.pulse;
    if (p.empty()) {
        return figures;
    }
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (std::fabs(p[i]) > std::fabs(p[figures.cursor])) {
            figures.cursor = i;
        }
    }
    std::size_t flat = figures.cursor;
    while (flat + 1 < p.size() && p[flat + 1] == p[figures.cursor]) {
        ++flat;
    }
    figures.eye_centre = figures.cursor + (flat - figures.cursor + 1) / 2;
    figures.main_cursor = p[figures.cursor];
    figures.first_pre = figures.cursor >= bit ? p[figures.cursor - bit] : 0.0;
    figures.first_post = figures.cursor + bit < p.size() ? p[figures.cursor + bit] : 0.0;
    const bool has_main = figures.main_cursor != 0.0;
    figures.pre_db = has_main ? decibels(figures.first_pre / figures.main_cursor) : -HUGE_VAL;
    figures.post_db = has_main ? decibels(figures.first_post / figures.main_cursor) : -HUGE_VAL;
    for (std::size_t phase = 0; phase < std::min(bit, p.size()); ++phase) {
        double sum = 0.0;
        for (std::size_t i = phase; i < p.size(); i += bit) {
            sum += std::fabs(p[i]);
        }
        figures.swing = std::max(figures.swing, 0.5 * sum);
    }
    return figures;
}

}  // namespace amisim
