// The lookup table: a transfer curve of points joined by straight lines,
// flat beyond its ends. The caller's points are checked and copied; the
// record never changes afterwards.
#include <cstdint>
#include <cstdlib>

#include "Kestrom_AMI_Model.h"
#include "blocks/shaping/shaping_common.h"
#include "common/cell_group.h"
#include "common/contract.h"

namespace {

// The curve at v, for a table of at least one point.
double curve_at(double v, const Table &table) {
    const double *x = table.x;
    const double *y = table.y;
    const int32_t last = table.npts - 1;
    if (x[0] >= v) {
        return y[0];
    }
    if (v > x[last]) {
        return y[last];
    }
    // x[lo] < v <= x[hi]; a NaN, which no comparison admits, ends at lo = 0,
    // hi = 1 and gives NaN.
    int32_t lo = 0;
    int32_t hi = last;
    while (hi > lo + 1) {
        const int32_t mid = (lo + hi) / 2;
        if (x[mid] < v) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    AMI_REQUIRE(hi != lo, ami::sites::kTableBisection);
    return ((v - x[lo]) * y[hi] + (x[hi] - v) * y[lo]) / (x[hi] - x[lo]);
}

}  // namespace

Table SetTable(int32_t npts, const double *x, const double *y) {
    AMI_REQUIRE(npts > 1 && npts < 0xffffff, ami::sites::kTablePointCount);
    double *x_copy = nullptr;
    double *y_copy = nullptr;
    ami::CellGroup cells;
    cells.take(x_copy, npts);
    cells.take(y_copy, npts);
    const bool copying = cells.complete();
    if (copying) {
        x_copy[0] = x[0];
        y_copy[0] = y[0];
    }
    // The axis is checked whether or not the copies could be made.
    for (int32_t indx = 1; indx < npts; ++indx) {
        AMI_REQUIRE(x[indx] > x[indx - 1], ami::sites::kTableIncreasingAxis);
        if (copying) {
            x_copy[indx] = x[indx];
            y_copy[indx] = y[indx];
        }
    }
    if (!copying) {
        return {0, nullptr, nullptr};
    }
    return {npts, x_copy, y_copy};
}

void ApplyTable(const double *input, int32_t sample_count, Table table, double *output) {
    if (table.npts < 1 || table.x == nullptr || table.y == nullptr) {
        ami::pass_through(input, sample_count, output);
        return;
    }
    for (int32_t i = 0; i < sample_count; ++i) {
        output[i] = curve_at(input[i], table);
    }
}

void DeleteTable(Table table) {
    std::free(table.x);
    std::free(table.y);
}
