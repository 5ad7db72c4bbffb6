// Counted errors: Wilson's interval against published values, decisions
// aligned by the latency, errors found where they were put, instants that
// skip or repeat a symbol, and the waveform sampled between its samples
// across blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/waveform_sampler.h"
#include "tools/amisim/stimulus/jittered_source.h"

namespace {

TEST(ErrorCounter, WilsonIntervalOfPublishedCases) {
    struct Row {
        std::uint64_t errors;
        std::uint64_t trials;
        double low;
        double high;
        double tolerance;
    };
    const Row rows[] = {
        {0, 1000000, 0.0, 3.84145e-6, 1e-10},  // z^2 / (n + z^2)
        {10, 100, 0.0552, 0.1744, 1e-4},
        {100, 100, 0.9630, 1.0, 1e-4},
        {0, 0, 0.0, 1.0, 0.0},
    };
    for (const Row &row : rows) {
        const amisim::Interval interval = amisim::wilson_interval(row.errors, row.trials);
        EXPECT_NEAR(interval.low, row.low, row.tolerance) << row.errors << " of " << row.trials;
        EXPECT_NEAR(interval.high, row.high, row.tolerance) << row.errors << " of " << row.trials;
    }
}

constexpr int kSpb = 8;

// The stimulus itself as the waveform (its bits peak mid-bit: latency
// spb / 2), with the bits listed turned over, counted at the bit's middle
// in blocks of an odd size.
amisim::ErrorFigures count(const std::vector<std::int64_t> &flipped, double latency,
                           std::int64_t bits) {
    amisim::JitteredSourceSettings stimulus;
    stimulus.samples_per_bit = kSpb;
    amisim::JitteredSource source(stimulus);
    std::vector<double> wave(static_cast<std::size_t>(bits * kSpb));
    source.fill(wave.data(), wave.size());
    for (std::int64_t bit : flipped) {
        for (int i = 0; i < kSpb; ++i) {
            wave[static_cast<std::size_t>(bit * kSpb + i)] *= -1.0;
        }
    }
    amisim::ErrorCountSettings settings;
    settings.samples_per_bit = kSpb;
    settings.latency = latency;
    settings.settle_bits = 10;
    amisim::ErrorCounter counter(settings);
    amisim::FixedClock clock(latency, kSpb);
    std::vector<double> instants;
    for (std::size_t done = 0; done < wave.size(); done += 1001) {
        const std::size_t block = std::min<std::size_t>(1001, wave.size() - done);
        instants.clear();
        clock.instants_before(static_cast<double>(done + block), instants);
        counter.add(wave.data() + done, block, instants.data(), nullptr, instants.size());
    }
    return counter.figures();
}

TEST(ErrorCounter, FindsTheErrorsWhereTheyWerePut) {
    const amisim::ErrorFigures figures = count({100, 101, 555, 5}, kSpb / 2, 2000);
    // Bit 5 lies before the count starts.
    EXPECT_EQ(figures.decisions, 2000u - 10u);
    EXPECT_EQ(figures.errors, 3u);
    EXPECT_EQ(figures.error_symbols, (std::vector<std::int64_t>{100, 101, 555}));
    EXPECT_EQ(figures.errors_by_symbol[0] + figures.errors_by_symbol[1], 3u);
    EXPECT_DOUBLE_EQ(figures.ber, 3.0 / 1990.0);
    const amisim::Interval interval = amisim::wilson_interval(3, 1990);
    EXPECT_EQ(figures.interval.low, interval.low);
    EXPECT_EQ(figures.interval.high, interval.high);
    EXPECT_EQ(figures.missed, 0u);
    EXPECT_EQ(figures.repeated, 0u);
}

// Decisions taken one bit late against a latency one bit early compare
// each bit of PRBS7 with the next: they differ in 64 of every 127.
TEST(ErrorCounter, AlignsByTheLatency) {
    const amisim::ErrorFigures figures = count({}, kSpb / 2 + kSpb, 127 * 40 + 11);
    ASSERT_EQ(figures.decisions, 127u * 40u);
    EXPECT_EQ(figures.errors, 64u * 40u);
}

TEST(ErrorCounter, CountsSymbolsMissedAndRepeated) {
    amisim::ErrorCountSettings settings;
    settings.samples_per_bit = kSpb;
    amisim::ErrorCounter counter(settings);
    // Symbols 0, 1, 1 again (a slip back), 3 (2 skipped), 4.
    for (double nominal : {0.0, 8.0, 9.0, 24.0, 32.0}) {
        counter.decide(nominal, 0.0);
    }
    const amisim::ErrorFigures figures = counter.figures();
    EXPECT_EQ(figures.decisions, 4u);
    EXPECT_EQ(figures.repeated, 1u);
    EXPECT_EQ(figures.missed, 1u);
}

// On a ramp (sample n holds n) the value at an instant is the instant:
// whether it lies in the block, straddles its start or end, or a little
// before it; an instant at a whole sample is the sample. One too far back,
// or out of order, is left out.
TEST(WaveformSampler, InterpolatesBetweenSamplesAcrossBlocks) {
    amisim::WaveformSampler sampler(16);
    std::vector<amisim::Sampled> out;
    std::vector<double> block(100);
    const std::vector<std::vector<double>> instants = {
        {0.0, 2.5, 99.25},              // the last waits for sample 100
        {99.75, 120.0, 149.0},          // the first reaches back into the first block
        {150.0, 190.5, 250.25, 240.0},  // 150 is beyond the history; 240 out of order
    };
    for (std::size_t b = 0; b < instants.size(); ++b) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<double>(b * block.size() + i);
        }
        sampler.add(block.data(), block.size(), instants[b].data(), nullptr, instants[b].size(),
                    out);
    }
    const std::vector<double> expected = {0.0, 2.5, 99.25, 99.75, 120.0, 149.0, 190.5, 250.25};
    ASSERT_EQ(out.size(), expected.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_NEAR(out[i].value, expected[i], 1e-12) << i;
        EXPECT_EQ(out[i].tag, expected[i]);
    }
    EXPECT_EQ(sampler.left_out(), 2u);
}

}  // namespace
