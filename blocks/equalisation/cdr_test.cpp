// Clock and data recovery: the worked examples of its loop, an independent
// sample-by-sample transcription compared cell by cell (reference clock and
// counter wrap included), and the records and arguments it does nothing
// with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_literal.h"
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::StrEq;

using OwnedCDR = Owned<CDR, DeleteCDR>;

struct Settings {
    const char *mode = "fixed";
    double phase_step = 1.0 / 32;
    int32_t max_threshold = 3;
    double freq_offset = 0.0;
    int32_t decision_count = 4;
    int32_t samples_per_bit = 4;
    double dfe_tap = 0.0;
    double invert_time = 0.0;
};

CDR make(const Settings &s) {
    return SetupCDR(s.mode, s.phase_step, s.max_threshold, s.freq_offset, s.decision_count,
                    s.samples_per_bit, s.dfe_tap, s.invert_time, nullptr, 0);
}

// Tick times written by one call from index 0, with room for a tick per
// sample.
std::vector<double> ticks_of(const CDR &cdr, const std::vector<double> &input, double interval) {
    std::vector<double> clock(input.size() + 1, 0.0);
    const int32_t end =
        ApplyCDR(input.data(), static_cast<int32_t>(input.size()), cdr, interval, 0, clock.data());
    if (end > 0) {
        EXPECT_EQ(clock[static_cast<std::size_t>(end)], -1.0);
    }
    return {clock.begin(), clock.begin() + end};
}

// The state after every sample, one call per sample.
template <typename Observe>
void sample_by_sample(const CDR &cdr, const std::vector<double> &input, double interval,
                      Observe observe) {
    std::vector<double> clock(2, 0.0);
    for (std::size_t i = 0; i < input.size(); ++i) {
        clock[0] = 0.0;
        const int32_t end = ApplyCDR(&input[i], 1, cdr, interval, 0, clock.data());
        observe(i, end == 1 ? clock[0] : -1.0);
    }
}

TEST(CDR, SetupState) {
    char msg[128] = "";
    const OwnedCDR cdr(SetupCDR("Adapt", 0.1, 7, 0.002, 3, 5, 0.25, -3.0, msg, sizeof msg));
    EXPECT_EQ(cdr->mode, 3);
    EXPECT_EQ(cdr->invert_time, 0.0);
    EXPECT_EQ(cdr->reference_clock, 0);
    EXPECT_THAT(cdr_cells(cdr.get()), ElementsAre(0.0, 0, 0, 0, 0.0, 2.0, 2.0, 0.0, -0.5, 0.0, 0.0,
                                                  0, 0.0, 0.0, -0.5, -0.5, -0.5));
    EXPECT_THAT(msg, StrEq(""));
    const OwnedCDR unknown(SetupCDR("ON", 0.1, 7, 0, 3, 5, 0, 0, msg, sizeof msg));
    EXPECT_EQ(unknown->mode, 0);
    EXPECT_THAT(msg, StrEq("**Warning** Control mode ON not recognized. Defaulting to \"off\".\n"));
}

// S = 4, unit sample interval: ticks while processing samples 1, 5, 9, ...
// at times 1, 5, 9, ...; the edge decisions slice samples 0, 4, 8 and the
// data decisions samples 2, 6, 10.
TEST(CDR, FixedClockTicksEveryBitAndSlicesEdgeAndData) {
    const OwnedCDR cdr(make(Settings{}));
    std::vector<double> input(24);
    for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = std::sin(2.1 * static_cast<double>(i) + 0.3);  // varied signs
    }
    auto slice = [](double v) { return v > 0 ? 0.5 : -0.5; };
    std::vector<double> ticks;
    sample_by_sample(cdr.get(), input, 1.0, [&](std::size_t i, double tick) {
        if (tick >= 0) {
            ticks.push_back(tick);
            EXPECT_EQ(*cdr->edge_decision, slice(input[i - 1])) << "sample " << i;
        }
        if (i % 4 == 3) {
            EXPECT_EQ(*cdr->data_decision, slice(input[i - 1])) << "sample " << i;
        }
    });
    EXPECT_THAT(ticks, ElementsAre(1, 5, 9, 13, 17, 21));
    // One call: the same ticks, each followed by -1.0, and the terminator's
    // index returned.
    const OwnedCDR once(make(Settings{}));
    std::vector<double> clock(30, 7.0);
    clock[0] = 0.0;
    EXPECT_EQ(ApplyCDR(input.data(), 24, once.get(), 1.0, 0, clock.data()), 6);
    EXPECT_THAT(std::vector<double>(clock.begin(), clock.begin() + 8),
                ElementsAre(1, 5, 9, 13, 17, 21, -1, 7));
}

TEST(CDR, FrequencyOffsetStretchesThePeriod) {
    Settings s;
    s.samples_per_bit = 10;
    s.freq_offset = 0.01;
    const OwnedCDR cdr(make(s));
    const std::vector<double> ticks = ticks_of(cdr.get(), std::vector<double>(10100, 0.25), 1e-3);
    ASSERT_EQ(ticks.size(), 1000U);
    EXPECT_NEAR((ticks.back() - ticks.front()) / 999, 10.1e-3, 1e-12);
    EXPECT_NEAR(*cdr->clock_phase, std::fmod(ticks.back(), 10e-3), 1e-15);
}

// Alternating bits whose transitions lie 9 samples after the first ticks
// (S = 32): every edge sample sees the previous bit, so every data instant
// votes "early".
std::vector<double> early_clock_wave(std::size_t bits = 20) {
    std::vector<double> wave(32 * bits);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        wave[i] = (i < 10 || ((i - 10) / 32) % 2 == 1) ? -1.0 : 1.0;
    }
    return wave;
}

// The (votes, threshold) pairs after each data instant.
std::vector<std::pair<int32_t, int32_t>> votes_and_thresholds(const char *mode) {
    Settings s;
    s.mode = mode;
    s.samples_per_bit = 32;
    const OwnedCDR cdr(make(s));
    std::vector<std::pair<int32_t, int32_t>> seen;
    const std::vector<double> wave = early_clock_wave();
    double last_timer = *cdr->data_timer;
    sample_by_sample(cdr.get(), std::vector<double>(wave.begin(), wave.begin() + 300), 1.0,
                     [&](std::size_t, double) {
                         if (*cdr->data_timer > last_timer) {  // a data instant just passed
                             seen.emplace_back(*cdr->votes, *cdr->vote_threshold);
                         }
                         last_timer = *cdr->data_timer;
                     });
    return seen;
}

TEST(CDR, CorrectionsNeedOneOneTwoThenMaxThresholdVotes) {
    using P = std::pair<int32_t, int32_t>;
    EXPECT_THAT(votes_and_thresholds("auto"),
                ElementsAre(P{0, 1}, P{0, 2}, P{1, 2}, P{0, 3}, P{1, 3}, P{2, 3}, P{0, 3}, P{1, 3},
                            P{2, 3}));
    // Fixed: the votes keep counting and nothing is corrected.
    EXPECT_THAT(votes_and_thresholds("fixed"),
                ElementsAre(P{1, 0}, P{2, 0}, P{3, 0}, P{4, 0}, P{5, 0}, P{6, 0}, P{7, 0}, P{8, 0},
                            P{9, 0}));
}

TEST(CDR, CorrectionsMoveTheTicksLaterByThePhaseStep) {
    Settings s;
    s.samples_per_bit = 32;
    s.mode = "adapt";
    const OwnedCDR adapting(make(s));
    s.mode = "off";
    const OwnedCDR fixed(make(s));
    const std::vector<double> wave = early_clock_wave(60);
    const std::vector<double> moved = ticks_of(adapting.get(), wave, 1.0);
    const std::vector<double> nominal = ticks_of(fixed.get(), wave, 1.0);
    ASSERT_EQ(moved.size(), nominal.size());
    // Corrections of one sample each after the 1st, 2nd and 4th data
    // instants, each half a bit after its tick.
    EXPECT_EQ(moved[1] - nominal[1], 1.0);
    EXPECT_EQ(moved[3] - nominal[3], 2.0);
    EXPECT_EQ(moved[4] - nominal[4], 3.0);
    // Locked at the transition (sample 10 + 32 k, the edge between 9 and 10).
    EXPECT_THAT(std::vector<double>(moved.end() - 4, moved.end()),
                Each(::testing::Truly([](double t) {
                    const double phase = std::fmod(t, 32.0);
                    return phase >= 8.0 && phase <= 12.0;
                })));
}

TEST(CDR, InvertTimeInvertsTheDecisionsOfOneBitPeriod) {
    for (double invert : {11.0, 0.0, -4.0}) {
        SCOPED_TRACE("invert_time " + std::to_string(invert));
        Settings s;
        s.invert_time = invert;
        const OwnedCDR cdr(make(s));
        std::vector<double> inverted_at;
        sample_by_sample(cdr.get(), std::vector<double>(20, 1.0), 1.0, [&](std::size_t i, double) {
            if (i % 4 == 3 && *cdr->data_decision < 0) {
                inverted_at.push_back(static_cast<double>(i));
            }
        });
        // Data instants at samples 3, 7, 11, ...; t in [7, 11) holds 7 only.
        EXPECT_EQ(inverted_at, invert > 0 ? std::vector<double>{7} : std::vector<double>{});
    }
}

TEST(CDR, ReferenceClockAlignsTheTicks) {
    Settings s;
    s.samples_per_bit = 10;
    std::vector<double> clock(40, 0.0);
    for (std::size_t k = 0; k < clock.size(); ++k) {
        clock[k] = 100.5 + 10.0 * static_cast<double>(k);
    }
    OwnedCDR aligned(make(s));
    const CDR earlier_copy = aligned.get();
    EnableReferenceClk(aligned.mutable_record(), 1);
    EXPECT_EQ(earlier_copy.reference_clock, 0);
    EnableReferenceClk(nullptr, 1);
    const std::vector<double> input(300, 0.5);
    const int32_t end = ApplyCDR(input.data(), 300, aligned.get(), 1.0, 0, clock.data());
    // The first alignment adds half a sample to the timer, so every later
    // tick comes half a sample late; the later alignments add nothing.
    EXPECT_THAT(std::vector<double>(clock.begin(), clock.begin() + 5),
                ElementsAre(1.0, 11.5, 21.5, 31.5, 41.5));
    EXPECT_EQ(clock[static_cast<std::size_t>(end)], -1.0);
    EXPECT_EQ(*aligned->last_reference, 100.5 + 10.0 * (end - 1));
    // Reference mode without positive entries aligns nothing.
    OwnedCDR plain(make(s));
    EnableReferenceClk(plain.mutable_record(), 1);
    const std::vector<double> ticks = ticks_of(plain.get(), input, 1.0);
    EXPECT_THAT(std::vector<double>(ticks.begin(), ticks.begin() + 3), ElementsAre(1, 11, 21));
    // Without a bit period (a zero sample interval) there is nothing to
    // align to: the timer runs as without reference mode, ticks at samples
    // 1, 11, ..., 291, and is back at 0 after sample 299.
    OwnedCDR timeless(make(s));
    EnableReferenceClk(timeless.mutable_record(), 1);
    std::vector<double> references(301, 5.0);
    EXPECT_EQ(ApplyCDR(input.data(), 300, timeless.get(), 0.0, 0, references.data()), 30);
    EXPECT_EQ(*timeless->edge_timer, 0.0);
}

// --- Against the transcription of the loop, sample by sample -----------------

struct Scenario {
    const char *name;
    Settings settings;
    double interval;
    int32_t reference_clock;
    int32_t start_index;  // written into sample_index before the run
    bool references;      // clock_times pre-filled with reference times
};

// Printed by name: gtest would otherwise dump the bytes, padding included.
void PrintTo(const Scenario &row, std::ostream *os) {
    *os << row.name;
}

class CDRTranscription : public ::testing::TestWithParam<Scenario> {};

// Each call's tick times, return value and every cell, after every call of
// an uneven cutting of a channel waveform with a sub-bit delay.
TEST_P(CDRTranscription, EveryCellAndTickBitForBit) {
    const Scenario &c = GetParam();
    const int spb = c.settings.samples_per_bit;
    const std::vector<double> wave = lossy_wave(prbs7_bits(300), spb, spb / 3 + 1, 0.6);
    OwnedCDR fast(make(c.settings));
    OwnedCDR slow(make(c.settings));
    EnableReferenceClk(fast.mutable_record(), c.reference_clock);
    EnableReferenceClk(slow.mutable_record(), c.reference_clock);
    *fast->sample_index = c.start_index;
    *slow->sample_index = c.start_index;
    const std::size_t room = wave.size() + 2;
    std::vector<double> fast_clock(room, 0.0);
    if (c.references) {
        for (std::size_t k = 0; k < room; ++k) {
            fast_clock[k] = 3.3e-9 + static_cast<double>(k) * spb * c.interval * 1.0004;
        }
    }
    std::vector<double> slow_clock = fast_clock;
    int32_t fast_index = 0;
    int32_t slow_index = 0;
    std::size_t done = 0;
    const std::vector<std::size_t> cuts{1, 2, 0, 37, 5, 400, 1, 1000, 3, wave.size()};
    for (std::size_t cut : cuts) {
        const auto n = static_cast<int32_t>(std::min(cut, wave.size() - done));
        fast_index =
            ApplyCDR(wave.data() + done, n, fast.get(), c.interval, fast_index, fast_clock.data());
        slow_index = literal_apply_cdr(wave.data() + done, n, slow.get(), c.interval, slow_index,
                                       slow_clock.data());
        done += static_cast<std::size_t>(n);
        ASSERT_EQ(fast_index, slow_index) << "after " << done << " samples";
        ASSERT_EQ(bits_of(cdr_cells(fast.get())), bits_of(cdr_cells(slow.get())))
            << "after " << done << " samples";
    }
    EXPECT_EQ(bits_of(fast_clock), bits_of(slow_clock));
    if (c.settings.freq_offset < 1) {  // a clock near its nominal rate ticks every bit
        EXPECT_GT(fast_index, static_cast<int32_t>(wave.size()) / spb / 2);
    }
    if (c.start_index > 0) {
        EXPECT_EQ(*fast->wrap_count, 1);
    }
}

Settings with(Settings s, const char *mode, double tap = 0.0) {
    s.mode = mode;
    s.dfe_tap = tap;
    return s;
}

Settings spacing(int32_t spb, double offset, int32_t decisions, int32_t max_threshold) {
    Settings s;
    s.samples_per_bit = spb;
    s.freq_offset = offset;
    s.decision_count = decisions;
    s.max_threshold = max_threshold;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    CDR, CDRTranscription,
    ::testing::Values(
        Scenario{"fixed", spacing(4, 0, 4, 3), 1.0, 0, 0, false},
        Scenario{"auto_odd_spb", with(spacing(7, 0.003, 1, 5), "auto", 0.1), 1e-11, 0, 0, false},
        Scenario{"adapt_32", with(spacing(32, -0.002, 3, 8), "adapt", -0.05), 3.125e-12, 0, 0,
                 false},
        Scenario{"off_votes_only", with(spacing(8, 0, 2, 4), "off"), 2e-12, 0, 0, false},
        Scenario{"threshold_at_or_below_zero", with(spacing(8, 0, 2, -2), "auto"), 2e-12, 0, 0,
                 false},
        Scenario{"invert_time",
                 [] {
                     Settings s = with(spacing(8, 0, 2, 4), "auto");
                     s.invert_time = 4e-10;
                     return s;
                 }(),
                 2e-12, 0, 0, false},
        Scenario{"reference_clock", with(spacing(16, 0.001, 2, 6), "auto"), 1e-12, 1, 0, true},
        Scenario{"references_ignored", with(spacing(16, 0.001, 2, 6), "auto"), 1e-12, 0, 0, true},
        // Timers beyond 2^53, where a sample's decrement rounds away.
        Scenario{"huge_tick_period", with(spacing(4, 1e17, 2, 4), "auto"), 1e-12, 0, 0, false},
        Scenario{"counter_wrap", with(spacing(5, 0, 2, 4), "adapt"), 1e-12, 0, 2147483647 - 1234,
                 false},
        Scenario{"counter_wrap_with_reference", with(spacing(6, 0, 2, 4), "auto"), 1.0, 1,
                 2147483647 - 700, true}),
    [](const ::testing::TestParamInfo<Scenario> &row) { return std::string(row.param.name); });

TEST(CDR, CounterWrapKeepsTimeContinuous) {
    Settings s;
    const OwnedCDR cdr(make(s));
    *cdr->sample_index = 2147483647 - 10;
    const std::vector<double> ticks = ticks_of(cdr.get(), std::vector<double>(24, 0.5), 1.0);
    EXPECT_EQ(*cdr->wrap_count, 1);
    EXPECT_EQ(*cdr->sample_index, 24 - 10);
    ASSERT_EQ(ticks.size(), 6U);
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        EXPECT_EQ(ticks[k] - ticks[k - 1], 4.0);
    }
    // A counter set to its largest value wraps on its next sample.
    *cdr->sample_index = INT32_MAX;
    (void)ticks_of(cdr.get(), {0.5}, 1.0);
    EXPECT_EQ(*cdr->sample_index, 0);
    EXPECT_EQ(*cdr->wrap_count, 2);
}

TEST(CDR, ThresholdAtItsLowestLimitDoesNotOverflow) {
    Settings s = with(spacing(32, 0, 2, INT32_MIN), "auto");
    const OwnedCDR cdr(make(s));
    (void)ticks_of(cdr.get(), early_clock_wave(), 1.0);
    EXPECT_EQ(*cdr->vote_threshold, INT32_MIN);
}

// --- What it does nothing with ------------------------------------------------

TEST(CDR, RecordsWithoutABitOrDecisionsAreInert) {
    for (auto [spb, decisions] :
         {std::pair{0, 4}, {-8, 4}, {4, 0}, {4, -1}, {INT32_MIN, INT32_MIN}}) {
        SCOPED_TRACE("S " + std::to_string(spb) + ", decisions " + std::to_string(decisions));
        Settings s;
        s.samples_per_bit = spb;
        s.decision_count = decisions;
        const OwnedCDR cdr(make(s));
        EXPECT_EQ(cdr->clock_phase, nullptr);
        EXPECT_EQ(cdr->decisions, nullptr);
        std::vector<double> clock{5.0, 6.0};
        const std::vector<double> input(40, 0.5);
        EXPECT_EQ(ApplyCDR(input.data(), 40, cdr.get(), 1.0, 1, clock.data()), 1);
        EXPECT_THAT(clock, ElementsAre(5.0, 6.0));
    }
}

TEST(CDR, EmptyBlocksTakeOnlyTheReferenceAndBadIndicesNothing) {
    const OwnedCDR cdr(make(Settings{}));
    std::vector<double> clock{0.0, 42.0, 0.0};
    const double sample = 0.5;
    for (int32_t count : {0, -1, INT32_MIN}) {
        EXPECT_EQ(ApplyCDR(&sample, count, cdr.get(), 1.0, 1, clock.data()), 1);
    }
    EXPECT_THAT(clock, ElementsAre(0.0, -1.0, 0.0));
    EXPECT_EQ(*cdr->next_reference, 42.0);
    EXPECT_EQ(*cdr->sample_index, 0);
    clock[0] = 9.0;
    EXPECT_EQ(ApplyCDR(&sample, 1, cdr.get(), 1.0, -1, clock.data() + 1), -1);
    EXPECT_EQ(ApplyCDR(&sample, 1, cdr.get(), 1.0, 0, nullptr), 0);
    EXPECT_EQ(ApplyCDR(&sample, 2, cdr.get(), 1.0, INT32_MAX - 1, clock.data()), INT32_MAX - 1);
    EXPECT_THAT(clock, ElementsAre(9.0, -1.0, 0.0));
    EXPECT_EQ(*cdr->sample_index, 0);
}

// At most one tick per sample, whatever the timers do: a period of one
// sample or less ticks at every sample after the first (the timer starts
// at 0), within the room of one entry per sample and the terminator.
TEST(CDR, NeverMoreThanOneTickPerSample) {
    for (double offset : {-0.75, -0.95, -1.0, -5.0}) {
        Settings s;
        s.freq_offset = offset;
        const OwnedCDR cdr(make(s));
        std::vector<double> clock(51, 0.0);
        const std::vector<double> input(50, 0.5);
        EXPECT_EQ(ApplyCDR(input.data(), 50, cdr.get(), 1.0, 0, clock.data()), 49);
        EXPECT_EQ(clock[49], -1.0);
    }
    Settings s = with(spacing(4, 0, 2, 0), "auto");
    s.phase_step = -1e300;  // a "late" correction of 4e300 samples
    const OwnedCDR cdr(make(s));
    const std::vector<double> wave = early_clock_wave();
    std::vector<double> clock(wave.size() + 1, 0.0);
    EXPECT_LE(ApplyCDR(wave.data(), 640, cdr.get(), 1.0, 0, clock.data()), 640);
}

}  // namespace
