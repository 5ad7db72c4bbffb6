// Counted errors: Wilson's interval against published values, decisions
// aligned by the latency, errors found where they were put, instants that
// skip or repeat a symbol, and the waveform sampled between its samples
// across blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/waveform_sampler.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

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

// PAM4 stimulus itself, three symbols decided wrongly: one a level up or
// down, one two levels away, one mirrored (0 and 3, 1 and 2 swapped). The
// bits turned are those in which the code words differ, by the pattern's
// mapping; each level's mean is the level but for the wrong ones.
TEST(ErrorCounter, CountsTheBitsOfPam4SymbolsByTheMapping) {
    const std::vector<double> levels = amisim::pam_levels(4);
    for (amisim::SymbolMapping mapping :
         {amisim::SymbolMapping::kGray, amisim::SymbolMapping::kNatural}) {
        SCOPED_TRACE(amisim::mapping_name(mapping));
        amisim::JitteredSourceSettings stimulus;
        stimulus.samples_per_bit = kSpb;
        stimulus.levels = levels;
        stimulus.pattern.mapping = mapping;
        amisim::JitteredSource source(stimulus);
        std::vector<double> wave(3000 * kSpb);
        source.fill(wave.data(), wave.size());
        amisim::SymbolStream sent(stimulus.pattern, 4);
        std::vector<int> symbols(3000);
        for (int &symbol : symbols) {
            symbol = sent.next();
        }
        // Symbols 1000, 1500 and 2000 decided a level away, two away, mirrored.
        int expected_bits = 0;
        for (std::size_t k : {1000, 1500, 2000}) {
            const int s = symbols[k];
            const int decided = k == 1000   ? (s < 3 ? s + 1 : s - 1)
                                : k == 1500 ? (s < 2 ? s + 2 : s - 2)
                                            : 3 - s;
            expected_bits += amisim::bit_errors(s, decided, mapping);
            std::fill_n(wave.begin() + static_cast<std::ptrdiff_t>(k * kSpb), kSpb,
                        levels[static_cast<std::size_t>(decided)]);
        }
        amisim::ErrorCountSettings settings;
        settings.pattern = stimulus.pattern;
        settings.levels = 4;
        settings.thresholds = amisim::midpoint_thresholds(levels);
        settings.samples_per_bit = kSpb;
        settings.latency = kSpb / 2;
        amisim::ErrorCounter counter(settings);
        amisim::FixedClock clock(kSpb / 2, kSpb);
        std::vector<double> instants;
        clock.instants_before(static_cast<double>(wave.size() - kSpb), instants);
        counter.add(wave.data(), wave.size(), instants.data(), nullptr, instants.size());
        const amisim::ErrorFigures figures = counter.figures();
        EXPECT_EQ(figures.error_symbols, (std::vector<std::int64_t>{1000, 1500, 2000}));
        EXPECT_EQ(figures.bits, 2 * figures.decisions);
        EXPECT_EQ(figures.bit_errors, static_cast<std::uint64_t>(expected_bits));
        EXPECT_EQ(figures.bit_error_rate,
                  static_cast<double>(expected_bits) / static_cast<double>(figures.bits));
        ASSERT_EQ(figures.level_means.size(), 4u);
        for (std::size_t s = 0; s < 4; ++s) {
            // Each wrong decision moves its symbol's mean by at most 1 V over the count.
            const auto count = static_cast<double>(figures.decisions_by_symbol[s]);
            EXPECT_NEAR(figures.level_means[s], levels[s], 3.0 / count) << s;
        }
    }
}

// Thresholds to come (the statistical eye's own centres, worked out while
// the stream runs): the instants kept until they come are decided as if
// they had been given, noise and all, and none is counted before.
TEST(ErrorCounter, DecidesTheInstantsKeptForThresholdsToComeAsIfGiven) {
    amisim::JitteredSourceSettings stimulus;
    stimulus.samples_per_bit = kSpb;
    stimulus.levels = amisim::pam_levels(4);
    amisim::JitteredSource source(stimulus);
    std::vector<double> wave(4000 * kSpb);
    source.fill(wave.data(), wave.size());
    amisim::ErrorCountSettings settings;
    settings.levels = 4;
    settings.thresholds = {-0.3, 0.01, 0.3};
    settings.samples_per_bit = kSpb;
    settings.latency = kSpb / 2;
    settings.noise_sigma = 0.08;
    std::vector<double> instants;
    amisim::FixedClock(kSpb / 2, kSpb)
        .instants_before(static_cast<double>(wave.size() - kSpb), instants);
    const std::size_t half = instants.size() / 2;
    amisim::ErrorCounter given(settings);
    given.add(wave.data(), wave.size(), instants.data(), nullptr, instants.size());
    settings.thresholds[1] = std::nan("");
    amisim::ErrorCounter later(settings);
    later.add(wave.data(), wave.size() / 2, instants.data(), nullptr, half);
    EXPECT_EQ(later.figures().decisions, 0u);
    later.set_thresholds({-0.3, 0.01, 0.3});
    later.add(wave.data() + wave.size() / 2, wave.size() - wave.size() / 2, instants.data() + half,
              nullptr, instants.size() - half);
    const amisim::ErrorFigures a = given.figures();
    const amisim::ErrorFigures b = later.figures();
    EXPECT_GT(a.errors, 100u);
    EXPECT_EQ(b.decisions, a.decisions);
    EXPECT_EQ(b.error_symbols, a.error_symbols);
    EXPECT_EQ(b.bit_errors, a.bit_errors);
    EXPECT_EQ(b.level_means, a.level_means);
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
