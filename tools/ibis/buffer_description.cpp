#include "tools/ibis/buffer_description.h"

#include <algorithm>

namespace ibis {
namespace {

double highest(const Corners &c) {
    return std::max({c.typ, c.min, c.max});
}

// The swept voltages and, for each, the current of a resistor of each
// corner's impedance with the given sign.
std::vector<IvRow> linear_table(const BufferDescription &buffer, double sign) {
    const double vmax = highest(buffer.supply);
    const int n = buffer.table_intervals;
    std::vector<IvRow> rows;
    rows.reserve(static_cast<std::size_t>(n) + 1);
    for (int k = 0; k <= n; ++k) {
        // Integer steps first, so the sweep holds -Vmax, 0 and 2 Vmax exactly.
        const double v = vmax * (3 * k - n) / n;
        rows.push_back({v,
                        {sign * v / buffer.impedance.typ, sign * v / buffer.impedance.min,
                         sign * v / buffer.impedance.max}});
    }
    return rows;
}

RampRate rate(double supply, double impedance, double r_load, double transition_time) {
    const double swing = supply * r_load / (impedance + r_load);
    return {0.6 * swing, transition_time};
}

}  // namespace

std::vector<IvRow> pulldown_table(const BufferDescription &buffer) {
    return linear_table(buffer, 1.0);
}

std::vector<IvRow> pullup_table(const BufferDescription &buffer) {
    return linear_table(buffer, -1.0);
}

Ramp ramp(const BufferDescription &buffer) {
    const BufferDescription &b = buffer;
    return {rate(b.supply.typ, b.impedance.typ, b.r_load, b.transition_time.typ),
            rate(b.supply.min, b.impedance.min, b.r_load, b.transition_time.min),
            rate(b.supply.max, b.impedance.max, b.r_load, b.transition_time.max)};
}

}  // namespace ibis
