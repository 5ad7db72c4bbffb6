// What each setup leaves when an allocation is refused, and that no Apply
// allocates. The block contract checks that such records run and release
// without leaks; these tests check what they then do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/heap_accounting.h"

namespace {

using ::testing::ElementsAre;

// Calls setup with its n-th allocation refused, for n = 1, 2, ... until one
// succeeds without a refusal; check sees each record. A failed setup keeps
// nothing, except the AGC, which keeps its cells when only the scratch
// pulse of its estimate is refused.
template <typename Setup, typename Check>
void each_refusal(Setup setup, Check check) {
    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
        heap_accounting_start(fail_at);
        const auto record = setup();
        const HeapTally tally = heap_accounting_stop();
        if (tally.failures == 0) {
            check(record, false);
            break;
        }
        check(record, true);
    }
}

TEST(EqualisationOutOfMemory, TxFFEPassesSamplesThrough) {
    const double taps[] = {0.5, 0.25};
    each_refusal([&] { return SetupTxFFE(2, 2, 9, taps); },
                 [](const TxFFE &ffe, bool refused) {
                     std::vector<double> wave{1.0, 0.0, 0.0};
                     ApplyTxFFE(wave.data(), 3, ffe, 1, wave.data());
                     if (refused) {
                         EXPECT_EQ(ffe.taps, nullptr);
                         EXPECT_EQ(ffe.history, nullptr);
                         EXPECT_EQ(ffe.tap_count, 0);
                         EXPECT_EQ(ffe.history_length, 0);
                         EXPECT_EQ(ffe.tag, 9);
                         EXPECT_THAT(wave, ElementsAre(1.0, 0.0, 0.0));
                     } else {
                         EXPECT_THAT(wave, ElementsAre(0.5, 0.0, 0.25));
                     }
                     DeleteTxFFE(ffe);
                 });
}

// Without cells the AGC passes samples through; without the scratch pulse
// it starts as without an impulse response.
TEST(EqualisationOutOfMemory, AGCPassesThroughOrStartsWithoutEstimate) {
    std::vector<double> impulse(12, 0.0);
    impulse[0] = 4.0;
    int refusals = 0;
    each_refusal([&] { return SetupAGC(0.25, impulse.data(), 12, 0.25, 4); },
                 [&](const AGC &agc, bool refused) {
                     std::vector<double> wave{2.0, -2.0};
                     ApplyAGC(wave.data(), 2, agc, 1, wave.data());
                     if (refused && agc.gain == nullptr) {
                         EXPECT_EQ(agc.level, nullptr);
                         EXPECT_THAT(wave, ElementsAre(2.0, -2.0));
                     } else {
                         EXPECT_EQ(*agc.gain, refused ? 1.0 : 0.5);
                         EXPECT_EQ(*agc.level, refused ? 0.25 : 0.5);
                     }
                     refusals += refused ? 1 : 0;
                     DeleteAGC(agc);
                 });
    EXPECT_EQ(refusals, 3);  // the gain cell, the level cell, the scratch pulse
}

TEST(EqualisationOutOfMemory, DFEPassesSamplesThrough) {
    const double taps[] = {-0.5};
    each_refusal([&] { return SetupDFE(1, taps, 1, -1, 1, 0.01, "fixed", 0.1, nullptr, 0); },
                 [](const DFE &dfe, bool refused) {
                     std::vector<double> wave{1.0, 1.0};
                     const double decisions[] = {0.5};
                     ApplyDFE(wave.data(), 2, dfe, 0, 0.0, decisions, wave.data());
                     EXPECT_THAT(wave, refused ? ElementsAre(1.0, 1.0) : ElementsAre(0.75, 0.75));
                     EXPECT_EQ(dfe.taps == nullptr, refused);
                     EXPECT_EQ(dfe.mode, 1);
                     DeleteDFE(dfe);
                 });
}

TEST(EqualisationOutOfMemory, CDRTouchesNothing) {
    int refusals = 0;
    each_refusal([] { return SetupCDR("auto", 0.05, 4, 0.0, 3, 4, 0.0, 0.0, nullptr, 0); },
                 [&](const CDR &cdr, bool refused) {
                     const std::vector<double> wave(40, 0.5);
                     std::vector<double> clock(41, 3.0);
                     const int32_t end = ApplyCDR(wave.data(), 40, cdr, 1.0, 0, clock.data());
                     if (refused) {
                         EXPECT_EQ(cdr.clock_phase, nullptr);
                         EXPECT_EQ(cdr.last_reference, nullptr);
                         EXPECT_EQ(end, 0);
                         EXPECT_EQ(clock, std::vector<double>(41, 3.0));
                     } else {
                         EXPECT_EQ(end, 10);
                     }
                     refusals += refused ? 1 : 0;
                     DeleteCDR(cdr);
                 });
    EXPECT_EQ(refusals, 15);
}

// Apply keeps its working values on the stack: not one allocation per call.
TEST(EqualisationOutOfMemory, ApplyAllocatesNothing) {
    const double taps[8] = {0.5, -0.1, 0.05, 0.0, 0.01, 0.0, 0.0, 0.001};
    const double decisions[8] = {0.5, -0.5, 0.5, 0.5, -0.5, 0.5, -0.5, 0.5};
    TxFFE ffe = SetupTxFFE(4, 8, 0, taps);
    AGC agc = SetupAGC(0.5, nullptr, 0, 0.0, 0);
    DFE fixed = SetupDFE(8, taps, 4, -1, 1, 0.001, "fixed", 0.01, nullptr, 0);
    DFE adapting = SetupDFE(8, taps, 4, -1, 1, 0.001, "adapt", 0.01, nullptr, 0);
    CDR cdr = SetupCDR("auto", 0.05, 4, 0.0, 3, 4, 0.1, 0.0, nullptr, 0);
    std::vector<double> wave(1000);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        wave[i] = std::sin(0.3 * static_cast<double>(i));
    }
    std::vector<double> out(wave.size());
    std::vector<double> clock(wave.size() + 1, 0.0);
    heap_accounting_start();
    ApplyTxFFE(wave.data(), 1000, ffe, 0, out.data());
    ApplyAGC(wave.data(), 1000, agc, 0, out.data());
    ApplyDFE(wave.data(), 1000, fixed, 0, 0.0, decisions, out.data());
    ApplyDFE(wave.data(), 1000, adapting, 0, 0.0, decisions, out.data());
    ApplyDFE(wave.data(), 1000, adapting, 1, 1e-12, nullptr, out.data());
    EXPECT_GT(ApplyCDR(wave.data(), 1000, cdr, 1e-12, 0, clock.data()), 0);
    EXPECT_EQ(heap_accounting_stop().allocations, 0);
    DeleteTxFFE(ffe);
    DeleteAGC(agc);
    DeleteDFE(fixed);
    DeleteDFE(adapting);
    DeleteCDR(cdr);
}

}  // namespace
