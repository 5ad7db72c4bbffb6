// Automatic gain control: one level measurement per block, smoothed from
// block to block, and one gain for the whole block.
//
// The gain cell only ever receives finite values: a quotient target / level
// that is not finite (a level of 0, or one so small that the quotient
// overflows) leaves the previous gain in place, and a level that is not
// finite (from NaN or infinite samples, or squares that overflow) is not
// taken at all.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "common/cell_group.h"

namespace {

void take_level(const AGC &agc, double level) {
    if (!std::isfinite(level)) {
        return;
    }
    *agc.level = level;
    const double gain = agc.target / level;
    if (std::isfinite(gain)) {
        *agc.gain = gain;
    }
}

// Sum over the pulse response of p (p / 4): each bit of +-0.5 contributes
// (0.5 p)^2. Returns 0.0 when the scratch pulse cannot be allocated, which
// leaves the record without an estimate.
double pulse_energy(const double *impulse, int32_t length, double sample_interval,
                    int32_t samples_per_bit) {
    auto *pulse =
        static_cast<double *>(std::malloc(static_cast<std::size_t>(length) * sizeof(double)));
    if (pulse == nullptr) {
        return 0.0;
    }
    I2P(pulse, impulse, length, samples_per_bit, sample_interval);
    double sum = 0.0;
    for (int32_t i = 0; i < length; ++i) {
        const double p = pulse[i];
        sum = sum + p * (p * 0.25);
    }
    std::free(pulse);
    return sum;
}

}  // namespace

AGC SetupAGC(double target, const double *impulse, int32_t length, double sample_interval,
             int32_t samples_per_bit) {
    const double magnitude = std::fabs(target);
    AGC agc{nullptr, magnitude, nullptr};
    ami::CellGroup cells;
    cells.take(agc.gain, 1);
    cells.take(agc.level, 1);
    if (!cells.complete()) {
        return agc;
    }
    *agc.gain = 1.0;
    *agc.level = magnitude;
    if (samples_per_bit < 1 || length < 1 || impulse == nullptr) {
        return agc;
    }
    const double sum = pulse_energy(impulse, length, sample_interval, samples_per_bit);
    if (sum == 0.0) {
        return agc;
    }
    take_level(agc, std::sqrt(sum / samples_per_bit));
    return agc;
}

void ApplyAGC(const double *input, int32_t sample_count, AGC agc, int32_t hold, double *output) {
    if (sample_count <= 0) {
        return;
    }
    if (agc.gain == nullptr || agc.level == nullptr) {
        for (int32_t i = 0; i < sample_count; ++i) {
            output[i] = input[i];
        }
        return;
    }
    if (hold == 0) {
        double squares = 0.0;
        for (int32_t i = 0; i < sample_count; ++i) {
            squares = squares + input[i] * input[i];
        }
        const double r = std::sqrt(squares / sample_count);
        take_level(agc, 0.99 * *agc.level + 0.01 * r);
    }
    const double gain = *agc.gain;
    for (int32_t i = 0; i < sample_count; ++i) {
        output[i] = input[i] * gain;
    }
}

void DeleteAGC(AGC agc) {
    std::free(agc.gain);
    std::free(agc.level);
}
