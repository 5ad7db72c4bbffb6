// The lookup table and the tanh limiter applied to a linear channel
// response by way of its PRBS7 waveform: the response is folded into one
// period of the pattern, the nonlinearity acts on every sample of that
// waveform, and the result is unfolded into a response again.
#include <cmath>
#include <cstdint>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/prbs7_folding.h"
#include "blocks/waveforms/scratch_doubles.h"
#include "common/reproducible_math.h"

namespace {

using Conversion = void (*)(double *, const double *, int32_t, int32_t, double);

// fold, shape the L samples in place, unfold. Without a period
// (samples_per_bit < 1 or beyond what the unfolds handle) or without
// scratch memory the output is n zeros, as the unfolds give for those.
template <typename Shape>
void through_prbs7(const double *response, int32_t n, int32_t samples_per_bit,
                   double sample_interval, double *output, Conversion fold, Conversion unfold,
                   Shape shape) {
    ami::ScratchDoubles waveform;
    if (samples_per_bit >= 1 && samples_per_bit <= ami::kMaxPrbs7SamplesPerBit) {
        waveform = ami::scratch_doubles(ami::prbs7_period(samples_per_bit));
    }
    if (!waveform) {
        for (int32_t i = 0; i < n; ++i) {
            output[i] = 0.0;
        }
        return;
    }
    const auto length = static_cast<int32_t>(ami::prbs7_period(samples_per_bit));
    fold(waveform.get(), response, n, samples_per_bit, sample_interval);
    shape(waveform.get(), length);
    unfold(output, waveform.get(), n, samples_per_bit, sample_interval);
}

// w -> b tanh(w / b), or its limits where that expression has none: 0 for
// b = 0 (NaN stays NaN) and w itself for an infinite b.
void compress(double *waveform, int32_t length, double limit) {
    for (int32_t i = 0; i < length; ++i) {
        const double w = waveform[i];
        if (limit == 0.0) {
            waveform[i] = std::isnan(w) ? w : 0.0;
        } else if (!std::isinf(limit)) {
            waveform[i] = limit * ami::reproducible_tanh(w / limit);
        }
    }
}

}  // namespace

void PulseTablePRBS(const double *pulse, int32_t n, int32_t samples_per_bit, double sample_interval,
                    Table table, double *output) {
    through_prbs7(pulse, n, samples_per_bit, sample_interval, output, P2PRBS, PRBS2P,
                  [&table](double *waveform, int32_t length) {
                      ApplyTable(waveform, length, table, waveform);
                  });
}

void ApplyTablePRBS(const double *impulse, int32_t n, int32_t samples_per_bit,
                    double sample_interval, Table table, double *output) {
    through_prbs7(impulse, n, samples_per_bit, sample_interval, output, I2PRBS, PRBS2I,
                  [&table](double *waveform, int32_t length) {
                      ApplyTable(waveform, length, table, waveform);
                  });
}

void Apply_tanh(const double *impulse, int32_t n, int32_t samples_per_bit, double sample_interval,
                double limit, double *output) {
    through_prbs7(impulse, n, samples_per_bit, sample_interval, output, I2PRBS, PRBS2I,
                  [limit](double *waveform, int32_t length) { compress(waveform, length, limit); });
}
