// What the shaping setups allocate: nothing for refused ratios, nothing
// before the table's count check, and the table's checks whether or not
// its copies could be made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/contract_report.h"
#include "tests/support/heap_accounting.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// On abort, says how many blocks the code under test holds: what it
// allocated and did not free since heap_accounting_start (the assertion
// report's own text is freed before the abort).
void say_live_blocks(int /*signal*/) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "live blocks at abort: %ld\n",
                                     heap_accounting_stop().live());
    if (length > 0) {
        (void)!write(STDERR_FILENO, text, static_cast<std::size_t>(length));
    }
}

void set_table_counting_blocks(int32_t npts, const double *x, const double *y, long fail_at = 0) {
    std::signal(SIGABRT, say_live_blocks);
    heap_accounting_start(fail_at);
    (void)SetTable(npts, x, y);
}

TEST(TableHeapDeathTest, CountIsCheckedBeforeAnythingIsAllocated) {
    const std::vector<double> points{0, 1, 2};
    EXPECT_DEATH(set_table_counting_blocks(1, points.data(), points.data()),
                 report_of(ami::sites::kTablePointCount) + "(.|\n)*live blocks at abort: 0\n");
    EXPECT_DEATH(set_table_counting_blocks(-3, points.data(), points.data()),
                 report_of(ami::sites::kTablePointCount) + "(.|\n)*live blocks at abort: 0\n");
}

TEST(TableHeapDeathTest, AxisIsCheckedAfterTheCopiesAreMadeOrRefused) {
    const std::vector<double> x{0, 1, 1};
    const std::vector<double> y{0, 1, 2};
    EXPECT_DEATH(set_table_counting_blocks(3, x.data(), y.data()),
                 report_of(ami::sites::kTableIncreasingAxis) + "(.|\n)*live blocks at abort: 2\n");
    for (long refused : {1, 2}) {
        EXPECT_DEATH(
            set_table_counting_blocks(3, x.data(), y.data(), refused),
            report_of(ami::sites::kTableIncreasingAxis) + "(.|\n)*live blocks at abort: 0\n")
            << "allocation " << refused << " refused";
    }
}

TEST(TableHeap, RefusedCopyGivesTheEmptyTable) {
    const std::vector<double> x{0, 1, 2};
    for (long refused : {1, 2}) {
        heap_accounting_start(refused);
        const Table table = SetTable(3, x.data(), x.data());
        EXPECT_EQ(heap_accounting_stop().live(), 0);
        EXPECT_EQ(table.npts, 0);
        EXPECT_EQ(table.x, nullptr);
        EXPECT_EQ(table.y, nullptr);
    }
}

TEST(ShapingHeap, RefusedRatiosAllocateNothing) {
    heap_accounting_start();
    for (double ratio : {1e30, kNaN, kInf, -kInf, 4294967296.0}) {
        DeleteDelay(SetupDelay(ratio, 1.0));
        DeleteSlope(SetupSlope(ratio, 1.0));
        DeleteSawtooth(SetSawtooth(1.0, 2.0, ratio));
    }
    EXPECT_EQ(heap_accounting_stop().allocations, 0);
}

// Each allocation of the fold, the unfold and the functions' own scratch
// refused in turn: the output is zeros, and nothing leaks.
TEST(ShapingHeap, NonlinearitiesWithoutMemoryGiveZeros) {
    constexpr int32_t kSamplesPerBit = 2;
    constexpr int32_t kLength = 127 * kSamplesPerBit + 10;
    std::vector<double> h(kLength, 0.0);
    h[3] = 1e10;
    const double axis[] = {-1.0, 1.0};
    const Table table = SetTable(2, axis, axis);
    std::vector<double> out(kLength);
    const auto tanh = [&] {
        Apply_tanh(h.data(), kLength, kSamplesPerBit, 1e-10, 0.2, out.data());
    };
    const auto impulse_table = [&] {
        ApplyTablePRBS(h.data(), kLength, kSamplesPerBit, 1e-10, table, out.data());
    };
    const auto pulse_table = [&] {
        PulseTablePRBS(h.data(), kLength, kSamplesPerBit, 1e-10, table, out.data());
    };
    for (const auto &run : std::vector<std::function<void()>>{tanh, impulse_table, pulse_table}) {
        for (long fail_at = 1;; ++fail_at) {
            SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
            std::fill(out.begin(), out.end(), -99.0);
            heap_accounting_start(fail_at);
            run();
            const HeapTally tally = heap_accounting_stop();
            EXPECT_EQ(tally.live(), 0);
            if (tally.failures == 0) {
                EXPECT_GT(fail_at, 2) << "fewer allocations than the fold and unfold need";
                EXPECT_NE(out, std::vector<double>(kLength, 0.0));
                break;
            }
            EXPECT_EQ(out, std::vector<double>(kLength, 0.0));
        }
    }
    DeleteTable(table);
}

}  // namespace
