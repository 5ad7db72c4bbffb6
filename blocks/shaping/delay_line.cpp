// The delay line: a circular buffer of the samples in transit.
//
// The buffer holds L entries. Each input sample is written at the position,
// and the output is the entry after it, which was written L - 1 samples
// earlier. A block runs in stretches in which neither index wraps, so the
// loop carries no modulo: within a stretch input k goes to buffer[p + k]
// and output k comes from buffer[p + 1 + k]; the step at the end of the
// buffer wraps once. Buffer and position end exactly as sample-by-sample
// stepping with a modulo leaves them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_common.h"
#include "common/cell_group.h"

namespace {

// Longest buffer: its length must fit in int32_t.
constexpr int32_t kLongestLine = INT32_MAX;

DelayLine empty_line() {
    return {0, nullptr, nullptr};
}

bool has_state(const DelayLine &line) {
    return line.length > 0 && line.position != nullptr && line.buffer != nullptr;
}

void delay_block(const double *input, int32_t sample_count, const DelayLine &line, double *output) {
    double *const buffer = line.buffer;
    const int32_t last = line.length - 1;
    int32_t p = *line.position;
    int32_t j = 0;
    while (j < sample_count) {
        const int32_t stretch = std::min(last - p, sample_count - j);
        const double *in = input + j;
        double *out = output + j;
        for (int32_t k = 0; k < stretch; ++k) {
            const double x = in[k];  // read before out[k], which may be the same sample
            out[k] = buffer[p + 1 + k];
            buffer[p + k] = x;
        }
        j += stretch;
        p += stretch;
        if (j < sample_count) {  // p == last: this step wraps
            buffer[last] = input[j];
            p = 0;
            output[j] = buffer[0];
            ++j;
        }
    }
    *line.position = p;
}

}  // namespace

DelayLine SetupDelay(double delay, double sample_interval) {
    const int32_t length = ami::whole_samples_at_least(delay / sample_interval + 0.5, kLongestLine);
    if (length < 0) {
        return empty_line();
    }
    // L = 0 (a ratio of -0.5 or below) still has its position cell, which a
    // caller may read; without a buffer it passes samples through.
    DelayLine line{length, nullptr, nullptr};
    ami::CellGroup cells;
    cells.take(line.position, 1);
    if (length > 0) {
        cells.take(line.buffer, length);
    }
    return cells.complete() ? line : empty_line();
}

void ApplyDelay(const double *input, int32_t sample_count, DelayLine line, int32_t reset,
                double *output) {
    if (!has_state(line)) {
        ami::pass_through(input, sample_count, output);
        return;
    }
    if (sample_count > 0) {
        delay_block(input, sample_count, line, output);
    }
    if (reset != 0) {
        *line.position = 0;
        ami::clear_samples(line.buffer, line.length);
    }
}

void DeleteDelay(DelayLine line) {
    std::free(line.position);
    std::free(line.buffer);
}
