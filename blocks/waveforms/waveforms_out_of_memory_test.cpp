// The waveform functions when memory runs out: documented results, no
// leaks; and the functions that allocate nothing at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_test_support.h"
#include "tests/support/heap_accounting.h"

namespace {

using ::testing::Each;

constexpr int32_t kSpb = 2;
constexpr int32_t kPeriod = 127 * kSpb;
constexpr double T = 1e-12;

TEST(WaveformsOutOfMemory, ConversionsAndMetricsAllocateNothing) {
    const Samples h = random_samples(300, 4);
    Samples out(2 * h.size());
    Samples wave(kPeriod);
    const int32_t n = size_of(h);
    heap_accounting_start();
    I2S(out.data(), h.data(), n, T);
    I2P(out.data(), h.data(), n, kSpb, T);
    S2I(out.data(), h.data(), n / 2, T);
    P2I(out.data(), h.data(), n, kSpb, T);
    P2PRBS(wave.data(), h.data(), n, kSpb, T);
    const double metrics = ErrEnergy(h.data(), n, 2.0) + MAX(h.data(), n, kSpb, T) +
                           PDA(h.data(), n, kSpb, T) + SNR(h.data(), n, kSpb, T, 0.0);
    const int32_t rounded = d2i(metrics);
    const int32_t entries = stringArraySize("1 2 3");
    EXPECT_EQ(heap_accounting_stop().allocations, 0);
    EXPECT_GT(rounded + entries, 0);
}

// Runs an unfold with its n-th allocation refused, for n = 1, 2, ... until
// none is refused; every refusal must give zeros, and nothing may leak.
template <typename Unfold>
void refuse_each_allocation(const char *name, Unfold unfold) {
    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE(std::string(name) + ", allocation " + std::to_string(fail_at) + " refused");
        Samples out(40, -7.0);
        heap_accounting_start(fail_at);
        unfold(out);
        const HeapTally tally = heap_accounting_stop();
        EXPECT_EQ(tally.live(), 0);
        if (tally.failures == 0) {
            EXPECT_THAT(out, ::testing::Not(Each(0.0)));
            break;
        }
        EXPECT_THAT(out, Each(0.0));
    }
}

TEST(WaveformsOutOfMemory, UnfoldsWriteZeros) {
    const Samples wave = random_samples(kPeriod, 8);
    refuse_each_allocation(
        "PRBS2P", [&](Samples &out) { PRBS2P(out.data(), wave.data(), size_of(out), kSpb, T); });
    refuse_each_allocation(
        "PRBS2I", [&](Samples &out) { PRBS2I(out.data(), wave.data(), size_of(out), kSpb, T); });
}

// PRBS72I frees the waveform it is handed whether or not its own scratch
// memory can be had.
TEST(WaveformsOutOfMemory, ThreePeriodUnfoldWritesZerosAndFreesTheWaveform) {
    const Samples h = random_samples(40, 8);
    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
        double *waveform = nullptr;
        int32_t length = 0;
        int32_t shift = 0;
        I2PRBS7(&waveform, h.data(), size_of(h), kSpb, &length, &shift, T);
        ASSERT_NE(waveform, nullptr);
        Samples out(h.size(), -7.0);
        heap_accounting_start(fail_at);
        PRBS72I(out.data(), &waveform, size_of(out), kSpb, &shift, T);
        const HeapTally tally = heap_accounting_stop();
        EXPECT_EQ(tally.live(), -1);  // the waveform
        if (tally.failures == 0) {
            EXPECT_THAT(out, ::testing::Not(Each(0.0)));
            break;
        }
        EXPECT_THAT(out, Each(0.0));
    }
}

TEST(WaveformsOutOfMemory, FoldWithoutScratchWritesZeros) {
    const Samples h = random_samples(40, 9);
    Samples wave(kPeriod, -7.0);
    heap_accounting_start(1);
    I2PRBS(wave.data(), h.data(), size_of(h), kSpb, T);
    const HeapTally tally = heap_accounting_stop();
    EXPECT_EQ(tally.failures, 1);
    EXPECT_EQ(tally.live(), 0);
    EXPECT_THAT(wave, Each(0.0));
}

TEST(WaveformsOutOfMemory, ThreePeriodsWithoutMemoryHandBackNoWaveform) {
    const Samples h = random_samples(40, 10);
    for (long fail_at = 1; fail_at <= 2; ++fail_at) {
        SCOPED_TRACE(fail_at);
        double unchanged = 0.0;
        double *waveform = &unchanged;
        int32_t length = -1;
        int32_t shift = -1;
        heap_accounting_start(fail_at);
        I2PRBS7(&waveform, h.data(), size_of(h), kSpb, &length, &shift, T);
        const HeapTally tally = heap_accounting_stop();
        EXPECT_EQ(tally.failures, 1);
        EXPECT_EQ(tally.live(), 0);
        EXPECT_EQ(waveform, nullptr);
        EXPECT_EQ(length, 0);
        Samples back(h.size(), -7.0);
        PRBS72I(back.data(), &waveform, size_of(h), kSpb, &shift, T);
        EXPECT_THAT(back, Each(0.0));
    }
}

TEST(WaveformsOutOfMemory, ListWithoutMemoryIsNullWithCountZero) {
    heap_accounting_start(1);
    int32_t count = -1;
    double *values = string2DoubleArray("1 2 3", &count);
    const HeapTally tally = heap_accounting_stop();
    EXPECT_EQ(tally.failures, 1);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 0);
    // A number too long for the reader's own buffer needs a copy; without
    // it that entry is skipped.
    const std::string text = "1 0." + std::string(80, '0') + "1 3";
    heap_accounting_start(1);
    values = string2DoubleArray(text.c_str(), &count);
    EXPECT_EQ(heap_accounting_stop().live(), 1);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 3.0);
    std::free(values);
}

}  // namespace
