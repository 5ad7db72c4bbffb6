#include "tools/amisim/waveforms.h"

#include <algorithm>
#include <cmath>

namespace amisim {

std::vector<double> pulse_response(const std::vector<double> &impulse, int samples_per_bit,
                                   double sample_interval) {
    const std::size_t width = static_cast<std::size_t>(samples_per_bit);
    std::vector<double> pulse(impulse.size() + width - 1, 0.0);
    // Running sum over a window of one bit.
    double window = 0.0;
    for (std::size_t n = 0; n < pulse.size(); ++n) {
        if (n < impulse.size()) {
            window += impulse[n];
        }
        if (n >= width && n - width < impulse.size()) {
            window -= impulse[n - width];
        }
        pulse[n] = window * sample_interval;
    }
    return pulse;
}

std::vector<double> bits_through_channel(const std::vector<std::uint8_t> &bits,
                                         const std::vector<double> &pulse, int samples_per_bit) {
    const std::size_t spb = static_cast<std::size_t>(samples_per_bit);
    std::vector<double> wave(bits.size() * spb, 0.0);
    for (std::size_t m = 0; m < bits.size(); ++m) {
        const double level = bits[m] != 0 ? 0.5 : -0.5;
        const std::size_t start = m * spb;
        const std::size_t end = std::min(wave.size(), start + pulse.size());
        for (std::size_t n = start; n < end; ++n) {
            wave[n] += level * pulse[n - start];
        }
    }
    return wave;
}

double eye_height(const std::vector<double> &wave, const std::vector<std::uint8_t> &bits,
                  int samples_per_bit, std::size_t offset, std::size_t skip_bits) {
    double lowest_one = HUGE_VAL;
    double highest_zero = -HUGE_VAL;
    for (std::size_t m = skip_bits; m < bits.size(); ++m) {
        const std::size_t n = m * static_cast<std::size_t>(samples_per_bit) + offset;
        if (n >= wave.size()) {
            break;
        }
        if (bits[m] != 0) {
            lowest_one = std::min(lowest_one, wave[n]);
        } else {
            highest_zero = std::max(highest_zero, wave[n]);
        }
    }
    if (lowest_one == HUGE_VAL || highest_zero == -HUGE_VAL) {
        return std::nan("");
    }
    return lowest_one - highest_zero;
}

ResponseFigures measure_response(const std::vector<double> &impulse, int samples_per_bit,
                                 double sample_interval) {
    ResponseFigures figures;
    for (double h : impulse) {
        figures.peak = std::max(figures.peak, std::fabs(h));
        figures.area += h * sample_interval;
    }
    const std::vector<double> pulse = pulse_response(impulse, samples_per_bit, sample_interval);
    for (std::size_t n = 0; n < pulse.size(); ++n) {
        if (std::fabs(pulse[n]) > std::fabs(pulse[figures.cursor])) {
            figures.cursor = n;
        }
    }
    if (pulse.empty()) {
        return figures;
    }
    figures.main_cursor = pulse[figures.cursor];
    const std::size_t post = figures.cursor + static_cast<std::size_t>(samples_per_bit);
    figures.first_post = post < pulse.size() ? pulse[post] : 0.0;
    figures.first_post_db =
        figures.main_cursor != 0.0 && figures.first_post != 0.0
            ? 20.0 * std::log10(std::fabs(figures.first_post / figures.main_cursor))
            : -HUGE_VAL;
    return figures;
}

}  // namespace amisim
