// The filter design and the polynomial products when allocations fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tests/support/heap_accounting.h"

namespace {

TEST(PeakingFilterOutOfMemory, DesignIsCompleteOrEmptyAndNeverLeaks) {
    heap_accounting_start();
    PeakingFilter healthy = TxTapPZFGetFilter(1e-12, nullptr, 0);
    DeletePeakingFilter(healthy);
    ASSERT_EQ(heap_accounting_stop().live(), 0);
    ASSERT_EQ(healthy.filter_count, 3);

    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
        heap_accounting_start(fail_at);
        const PeakingFilter filter = TxTapPZFGetFilter(1e-12, nullptr, 0);
        const HeapTally design = heap_accounting_stop();
        const bool refused = design.failures > 0;
        heap_accounting_start();
        std::vector<double> wave{1.0, 0.0, 0.5};
        ApplyPeakingFilter(wave.data(), 3, filter, 2, 0, wave.data());
        DeletePeakingFilter(filter);
        const HeapTally release = heap_accounting_stop();
        EXPECT_EQ(design.allocations - design.releases - release.releases, 0);
        if (!refused) {
            EXPECT_EQ(filter.filter_count, 3);
            break;  // every allocation of the design has been refused once
        }
        // A failed design keeps nothing and passes samples through.
        EXPECT_EQ(filter.filter_count, 0);
        EXPECT_EQ(filter.configs, nullptr);
        EXPECT_EQ(filter.peak_in, nullptr);
        EXPECT_EQ(filter.peak_out, nullptr);
        EXPECT_EQ(filter.numer, nullptr);
        EXPECT_EQ(filter.denom, nullptr);
        EXPECT_EQ(wave, (std::vector<double>{1.0, 0.0, 0.5}));
    }
}

TEST(PolynomialsOutOfMemory, ProductWithoutScratchLeavesItsOperandUnchanged) {
    std::vector<double> a{1, 2};
    const std::vector<double> b{3, 4};
    std::vector<Complex> c{cmplx(1, 0), cmplx(2, 0)};
    const std::vector<Complex> d{cmplx(3, 0), cmplx(4, 0)};
    heap_accounting_start(1);
    PolyMult(a.data(), 2, b.data(), 2);
    heap_accounting_stop();
    heap_accounting_start(1);
    CPolyMult(c.data(), 2, d.data(), 2);
    const HeapTally tally = heap_accounting_stop();
    EXPECT_EQ(tally.failures, 1);
    EXPECT_EQ(a, (std::vector<double>{1, 2}));
    EXPECT_EQ(c[1].re, 2.0);
}

}  // namespace
