// The slope and sawtooth filters: one running sum over a window of n
// samples, kept in a circular buffer of L = n + 1 input samples.
//
// Each sample adds the newest input and corrects by the inputs n - 1 and n
// samples back, in the fixed order
//   y = coef_in x + previous y + coef_tail x(t - n + 1) + coef_out x(t - n),
// so the cost per sample does not depend on n. The block keeps the running
// sum and the position in local variables and steps the two buffer indices
// with a compare instead of a modulo; the values and their order are those
// of stepping the record sample by sample.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_common.h"
#include "common/cell_group.h"

namespace {

// Longest window: L = n + 1 must fit in int32_t.
constexpr int32_t kLongestWindow = INT32_MAX - 1;

// The window of a duration T at the sample interval dt, with T replaced by
// dt when T is 0 or below or so short that dt / T overflows. n < 0 when
// the ratio is refused.
struct Window {
    int32_t n;
    double duration;
};

Window window_of(double duration, double sample_interval) {
    const int32_t n = ami::whole_samples_at_least(duration / sample_interval, kLongestWindow);
    if (n == 0 || (n > 0 && !std::isfinite(sample_interval / duration))) {
        return {1, sample_interval};
    }
    return {n, duration};
}

// Allocates the position cell (0), the buffer of length zeros and the
// accumulator cell (0.0); on failure none of them, and returns false.
template <typename Record>
bool allocate_state(Record &record) {
    ami::CellGroup cells;
    cells.take(record.position, 1);
    cells.take(record.buffer, record.length);
    cells.take(record.accumulator, 1);
    return cells.complete();
}

template <typename Record>
bool has_state(const Record &record) {
    return record.length > 1 && record.position != nullptr && record.buffer != nullptr &&
           record.accumulator != nullptr;
}

template <typename Record>
void clear_state(const Record &record) {
    *record.accumulator = 0.0;
    *record.position = 0;
    ami::clear_samples(record.buffer, record.length);
}

// One block of the running sum. With kDrop the output also adds coef_drop
// times the input n samples back (the sawtooth); the running sum itself is
// the same.
template <bool kDrop>
void run_window(const double *input, int32_t sample_count, int32_t length, int32_t *position,
                double *buffer, double coef_in, double coef_tail, double coef_out, double coef_drop,
                double *accumulator, double *output) {
    int32_t p = *position;
    int32_t p1 = p + 1 == length ? 0 : p + 1;  // the input n samples back
    double sum = *accumulator;
    for (int32_t j = 0; j < sample_count; ++j) {
        const double x = input[j];
        buffer[p] = x;
        const int32_t p2 = p1 + 1 == length ? 0 : p1 + 1;  // n - 1 samples back
        const double oldest = buffer[p1];
        sum = coef_in * x + sum + coef_tail * buffer[p2] + coef_out * oldest;
        output[j] = kDrop ? sum + coef_drop * oldest : sum;
        p = p1;
        p1 = p2;
    }
    *position = p;
    *accumulator = sum;
}

}  // namespace

Slope SetupSlope(double duration, double sample_interval) {
    const Window w = window_of(duration, sample_interval);
    if (w.n < 0) {
        return Slope{};
    }
    const double n = w.n;
    Slope slope{};
    slope.length = w.n + 1;
    slope.coef_in = sample_interval / w.duration;
    slope.coef_tail = 1.0 - n * sample_interval / w.duration;
    slope.coef_out = (n - 1.0) * sample_interval / w.duration - 1.0;
    if (!std::isfinite(slope.coef_in) || !std::isfinite(slope.coef_tail) ||
        !std::isfinite(slope.coef_out) || !allocate_state(slope)) {
        return Slope{};
    }
    return slope;
}

void ApplySlope(const double *input, int32_t sample_count, Slope slope, int32_t reset,
                double *output) {
    if (!has_state(slope)) {
        ami::pass_through(input, sample_count, output);
        return;
    }
    if (sample_count > 0) {
        run_window<false>(input, sample_count, slope.length, slope.position, slope.buffer,
                          slope.coef_in, slope.coef_tail, slope.coef_out, 0.0, slope.accumulator,
                          output);
    }
    if (reset != 0) {
        clear_state(slope);
    }
}

void DeleteSlope(Slope slope) {
    std::free(slope.position);
    std::free(slope.buffer);
    std::free(slope.accumulator);
}

Sawtooth SetSawtooth(double sample_interval, double amplitude, double duration) {
    const Window w = window_of(duration, sample_interval);
    if (w.n < 0) {
        return Sawtooth{};
    }
    const double n = w.n;
    Sawtooth sawtooth{};
    sawtooth.length = w.n + 1;
    sawtooth.coef_in = amplitude * sample_interval / w.duration;
    sawtooth.coef_tail = amplitude * (1.0 - n * sample_interval / w.duration);
    sawtooth.coef_out = amplitude * ((n - 1.0) * sample_interval / w.duration - 1.0);
    sawtooth.coef_drop = -amplitude;
    if (!std::isfinite(sawtooth.coef_in) || !std::isfinite(sawtooth.coef_tail) ||
        !std::isfinite(sawtooth.coef_out) || !std::isfinite(sawtooth.coef_drop) ||
        !allocate_state(sawtooth)) {
        return Sawtooth{};
    }
    return sawtooth;
}

void ApplySawtooth(const double *input, int32_t sample_count, Sawtooth sawtooth, int32_t reset,
                   double *output) {
    if (!has_state(sawtooth)) {
        ami::pass_through(input, sample_count, output);
        return;
    }
    if (sample_count > 0) {
        run_window<true>(input, sample_count, sawtooth.length, sawtooth.position, sawtooth.buffer,
                         sawtooth.coef_in, sawtooth.coef_tail, sawtooth.coef_out,
                         sawtooth.coef_drop, sawtooth.accumulator, output);
    }
    if (reset != 0) {
        clear_state(sawtooth);
    }
}

void DeleteSawtooth(Sawtooth sawtooth) {
    std::free(sawtooth.position);
    std::free(sawtooth.buffer);
    std::free(sawtooth.accumulator);
}
