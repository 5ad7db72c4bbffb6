// The statistical eye against facts it does not compute: error rates
// counted on a waveform built from the seeded stimulus, noise and jitter
// through a channel, the Gaussian tail of the standard library, the
// toolkit's peak-distortion eye, and the worst case of an aggressor summed
// by hand. And the dual-Dirac fit of the crossings' jitter against the
// jitter the stimulus was given.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/analysis/crossing_jitter.h"
#include "tools/amisim/analysis/dual_dirac.h"
#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/analysis/symbol_error_rates.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/gaussian_noise.h"
#include "tools/amisim/stimulus/jittered_source.h"
#include "tools/amisim/stimulus/sampling_jitter.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

// A link at module level: the stimulus through the channel (taps are the
// impulse response times the sample interval), noise added at the
// receiver, decisions at fixed phases from the pulse response's centre,
// each with the receiver's jitter on its instants, counted.
struct CountedRun {
    std::vector<double> impulse;  // 1/s
    int spb = 4;
    double dt = 25e-12;
    double noise = 0.0;
    bool noise_at_input = false;  // on every sample, rather than on each decision
    std::int64_t bits = 1000000;  // symbols
    std::vector<double> levels = {-0.5, 0.5};
    std::vector<double> thresholds = {0.0};
    amisim::SymbolMapping mapping = amisim::SymbolMapping::kGray;
    std::vector<int> eye_offsets;  // samples, one per eye; none: all at the instant
};

struct Decisions {
    int phase = 0;  // samples from the centre
    amisim::Jitter rx_jitter;
};

std::vector<amisim::ErrorFigures> count_errors(const CountedRun &run, std::size_t centre,
                                               const std::vector<Decisions> &decisions) {
    std::vector<double> taps;
    for (double h : run.impulse) {
        taps.push_back(h * run.dt);
    }
    amisim::JitteredSourceSettings stimulus;
    stimulus.samples_per_bit = run.spb;
    stimulus.sample_interval = run.dt;
    stimulus.pattern.prbs_order = 0;  // random bits
    stimulus.pattern.seed = 17;
    stimulus.pattern.mapping = run.mapping;
    stimulus.levels = run.levels;
    amisim::JitteredSource source(stimulus);
    amisim::ChannelStream stream(taps, source, amisim::Convolution::kDirect);
    amisim::GaussianNoise noise(run.noise_at_input ? run.noise : 0.0, 23);
    const auto settle = static_cast<std::int64_t>(run.impulse.size() / run.spb + 2);
    std::vector<amisim::ErrorCounter> counters;
    std::vector<amisim::FixedClock> clocks;
    std::vector<amisim::SamplingJitter> jitters;
    for (const Decisions &decision : decisions) {
        const int phase = decision.phase;
        amisim::ErrorCountSettings settings;
        settings.pattern = stimulus.pattern;
        settings.levels = run.levels.size();
        settings.thresholds = run.thresholds;
        settings.eye_offsets.assign(run.eye_offsets.begin(), run.eye_offsets.end());
        settings.samples_per_bit = run.spb;
        settings.latency = static_cast<double>(centre);
        settings.settle_bits = settle;
        settings.noise_sigma = run.noise_at_input ? 0.0 : run.noise;
        settings.noise_seed = 1000 + counters.size();
        counters.emplace_back(settings);
        clocks.emplace_back(static_cast<double>(centre) + phase, run.spb);
        jitters.emplace_back(decision.rx_jitter, run.dt, 31 + counters.size());
    }
    constexpr std::size_t kBlock = 8192;
    std::vector<double> block(kBlock);
    std::vector<double> nominal;
    std::vector<double> instants;
    const std::int64_t samples = (run.bits + settle) * run.spb;
    for (std::int64_t done = 0; done < samples; done += kBlock) {
        stream.read(block.data(), kBlock);
        noise.add(block.data(), kBlock);
        for (std::size_t i = 0; i < counters.size(); ++i) {
            nominal.clear();
            clocks[i].instants_before(static_cast<double>(done + kBlock), nominal);
            instants = nominal;
            jitters[i].displace(instants.data(), instants.size());
            counters[i].add(block.data(), kBlock, instants.data(), nominal.data(), instants.size());
        }
    }
    std::vector<amisim::ErrorFigures> figures;
    for (const amisim::ErrorCounter &counter : counters) {
        figures.push_back(counter.figures());
    }
    return figures;
}

amisim::StatisticalEye statistical(const CountedRun &run, const amisim::ResponseFigures &response,
                                   std::size_t centre, const amisim::Jitter &rx_jitter) {
    amisim::StatisticalEyeSettings settings;
    settings.pulse = response.pulse;
    settings.centre = centre;
    settings.samples_per_bit = run.spb;
    settings.sample_interval = run.dt;
    settings.noise_sigma = run.noise;
    settings.rx_jitter = rx_jitter;
    settings.levels = run.levels;
    settings.thresholds = run.thresholds;
    amisim::StatisticalEye eye;
    std::string error;
    EXPECT_TRUE(amisim::compute_statistical_eye(settings, eye, error)) << error;
    return eye;
}

// The statistical rate at threshold 0 at a phase, in samples from the centre.
double rate_at_zero(const amisim::StatisticalEye &eye, int offset) {
    const auto row =
        static_cast<std::size_t>(std::lround(-eye.threshold_origin / eye.threshold_step));
    return eye.at(0, static_cast<std::size_t>(offset + eye.samples_per_bit / 2), row);
}

// A lossy channel of 16 unit intervals at 4 samples per bit, whose eye is
// open (peak distortion about 0.1 V of 1 V).
CountedRun lossy_run() {
    CountedRun run;
    run.impulse =
        amisim::default_channel({}, run.dt, 16 * static_cast<std::size_t>(run.spb)).columns[0];
    return run;
}

// Without interference, noise of sigma at the decision point gives the
// Gaussian tail Q(A / sigma) for the amplitude A = 0.5 V: the statistical
// rate to 1% in the exponent, and the counted rate of a million bits (the
// noise added to the waveform at the receiver's input) within its 95%
// interval of it.
TEST(StatisticalAgreement, WithoutInterferenceNoiseGivesTheGaussianTail) {
    CountedRun run;
    run.spb = 2;
    run.impulse = {1.0 / run.dt};  // the waveform itself
    run.noise = 0.1618;
    run.noise_at_input = true;
    const long double tail = 0.5L * std::erfc(0.5L / run.noise / std::sqrt(2.0L));
    const amisim::ResponseFigures response = amisim::measure_response(run.impulse, run.spb, run.dt);
    const amisim::StatisticalEye eye = statistical(run, response, response.eye_centre, {});
    const double rate = rate_at_zero(eye, 0);
    EXPECT_NEAR(std::log10(rate) / std::log10(static_cast<double>(tail)), 1.0, 0.01) << rate;
    const amisim::ErrorFigures counted = count_errors(run, response.eye_centre, {{0, {}}})[0];
    EXPECT_GE(counted.decisions, 1000000u);
    EXPECT_LE(counted.interval.low, tail) << counted.ber;
    EXPECT_GE(counted.interval.high, tail) << counted.ber;
}

// Through a lossy channel, with noise for a rate near 1e-3 at the centre:
// the statistical rate at the centre and a quarter of a unit interval to
// either side lies in the 95% interval of the rate counted there. With the
// receiver's jitter of every kind besides, in the 99.9% interval: the
// binomial interval takes the decisions' errors as independent, but jitter
// and the symbols' patterns make neighbouring decisions err together, which
// widens the count's true spread (over 40 runs of a million bits with
// their own symbols the mean counted rate meets the statistical one within
// 0.4%).
TEST(StatisticalAgreement, CountedAndStatisticalRatesAgreeThroughALossyChannel) {
    struct Row {
        const char *name;
        amisim::Jitter rx_jitter;
        double z;  // of the interval
    };
    const Row rows[] = {
        {"noise", {}, amisim::kZ95},
        {"noise and the receiver's jitter", {8e-12, 10e-12, 5e-12, 3.7e9, 4e-12}, 3.2905},
    };
    CountedRun run = lossy_run();
    run.noise = 0.04;
    const amisim::ResponseFigures response = amisim::measure_response(run.impulse, run.spb, run.dt);
    const int phases[] = {-1, 0, 1};
    std::vector<Decisions> decisions;
    for (const Row &row : rows) {
        for (int phase : phases) {
            decisions.push_back({phase, row.rx_jitter});
        }
    }
    const std::vector<amisim::ErrorFigures> counted = count_errors(run, response.cursor, decisions);
    std::vector<amisim::StatisticalEye> eyes;
    for (const Row &row : rows) {
        eyes.push_back(statistical(run, response, response.cursor, row.rx_jitter));
    }
    for (std::size_t i = 0; i < decisions.size(); ++i) {
        const Row &row = rows[i / std::size(phases)];
        const amisim::StatisticalEye &eye = eyes[i / std::size(phases)];
        const double rate = rate_at_zero(eye, decisions[i].phase);
        const amisim::Interval interval =
            amisim::wilson_interval(counted[i].errors, counted[i].decisions, row.z);
        EXPECT_GE(rate, interval.low) << row.name << ", phase " << decisions[i].phase;
        EXPECT_LE(rate, interval.high) << row.name << ", phase " << decisions[i].phase;
        EXPECT_GT(counted[i].errors, 300u) << row.name;  // enough to mean something
    }
}

// PAM4 through the lossy channel at a quarter of the rate (where its eyes
// are open without noise), with noise for a symbol error rate near 1e-3 at
// the centre: the counted symbol and bit error rates lie in the 95%
// intervals of the statistical ones, at each eye's own centre, at
// thresholds given off them, with the outer eyes sampled earlier than the
// centre one (by a quarter and an eighth of a unit interval), and with
// natural mapping, whose errors across the centre eye turn two bits where
// Gray mapping's turn one.
TEST(StatisticalAgreement, Pam4CountedAndStatisticalRatesAgree) {
    CountedRun run;
    run.spb = 8;
    run.dt = 50e-12;
    run.impulse =
        amisim::default_channel({}, run.dt, 16 * static_cast<std::size_t>(run.spb)).columns[0];
    run.levels = amisim::pam_levels(4);
    run.noise = 0.027;
    const amisim::ResponseFigures response = amisim::measure_response(run.impulse, run.spb, run.dt);
    run.thresholds = amisim::midpoint_thresholds(run.levels, response.pulse[response.cursor]);
    const std::vector<double> centres =
        amisim::statistical_centre_thresholds(statistical(run, response, response.cursor, {}));
    struct Row {
        const char *name;
        std::vector<double> thresholds;
        amisim::SymbolMapping mapping;
        std::vector<int> eye_offsets;
    };
    const auto gray = amisim::SymbolMapping::kGray;
    const Row rows[] = {
        {"own centres", centres, gray, {}},
        {"given", {centres[0] + 0.01, centres[1] - 0.005, centres[2]}, gray, {}},
        {"eye offsets", centres, gray, {-2, 0, -1}},
        {"natural mapping", centres, amisim::SymbolMapping::kNatural, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        run.thresholds = row.thresholds;
        run.mapping = row.mapping;
        run.eye_offsets = row.eye_offsets;
        const amisim::ErrorFigures counted = count_errors(run, response.cursor, {{0, {}}})[0];
        const amisim::SymbolErrorRates rates =
            amisim::statistical_error_rates(statistical(run, response, response.cursor, {}),
                                            row.thresholds, row.eye_offsets, row.mapping);
        EXPECT_GE(rates.ser, counted.interval.low);
        EXPECT_LE(rates.ser, counted.interval.high);
        EXPECT_GE(rates.ber, counted.bit_interval.low);
        EXPECT_LE(rates.ber, counted.bit_interval.high);
        EXPECT_GT(counted.errors, 300u);  // enough to mean something
        if (row.mapping == amisim::SymbolMapping::kGray) {
            // Every wrong symbol a neighbour of the one sent: one bit each.
            EXPECT_EQ(counted.bit_errors, counted.errors);
        }
        EXPECT_GT(rates.ser, 3e-4);
        EXPECT_LT(rates.ser, 1e-2);
    }
}

// Without noise or jitter, the lowest rate's opening at the main cursor is
// the toolkit's peak-distortion eye (PDA), to the voltage grid's step; an
// aggressor whose channel is the victim's scaled by c closes it by exactly
// the aggressor's worst case: c times the largest sum of |p| over samples
// one bit apart, at its worst phase.
TEST(StatisticalAgreement, LowestRatesGiveTheWorstCase) {
    const double dt = 3e-11;
    const int spb = 8;
    const std::vector<double> impulse = amisim::default_channel({}, dt, 24 * spb).columns[0];
    const amisim::ResponseFigures response = amisim::measure_response(impulse, spb, dt);
    amisim::StatisticalEyeSettings settings;
    settings.pulse = response.pulse;
    settings.centre = response.cursor;
    settings.samples_per_bit = spb;
    settings.sample_interval = dt;
    settings.contour_bers = {1e-15, 1e-100};
    auto height_at_centre = [&](std::size_t contour, const amisim::StatisticalEye &eye) {
        const amisim::EyeContour &c = eye.contours[0][contour];
        return c.upper[spb / 2] - c.lower[spb / 2];
    };
    amisim::StatisticalEye alone;
    std::string error;
    ASSERT_TRUE(amisim::compute_statistical_eye(settings, alone, error)) << error;
    EXPECT_NEAR(height_at_centre(0, alone), response.pda, alone.threshold_step);

    const double c = 0.2;
    settings.aggressors.push_back(response.pulse);
    for (double &v : settings.aggressors[0]) {
        v *= c;
    }
    amisim::StatisticalEye with_aggressor;
    ASSERT_TRUE(amisim::compute_statistical_eye(settings, with_aggressor, error)) << error;
    double worst = 0.0;
    for (int phase = 0; phase < spb; ++phase) {
        double sum = 0.0;
        for (std::size_t i = static_cast<std::size_t>(phase); i < response.pulse.size(); i += spb) {
            sum += std::fabs(c * response.pulse[i]);
        }
        worst = std::max(worst, sum);
    }
    EXPECT_EQ(with_aggressor.threshold_step, alone.threshold_step);
    EXPECT_NEAR(height_at_centre(1, alone) - height_at_centre(1, with_aggressor), worst,
                2 * alone.threshold_step);
}

// The transmitter's jitter through a channel without interference at the
// crossings (a 4-sample average, whose ramps are straight): the dual-Dirac
// fit of the crossings' time-interval error finds the random jitter and the
// deterministic jitter it was given, each within 10%.
TEST(StatisticalAgreement, DualDiracFitFindsTheTransmittersJitter) {
    struct Row {
        const char *name;
        amisim::Jitter jitter;
        bool deterministic;  // what is checked: dj, or rj
    };
    const double dt = 1e-12;
    const int spb = 16;
    const Row rows[] = {
        {"random", {0.8e-12, 0.0, 0.0, 0.0, 0.0}, false},
        {"deterministic under random", {0.3e-12, 3e-12, 0.0, 0.0, 0.0}, true},
    };
    for (const Row &row : rows) {
        amisim::JitteredSourceSettings stimulus;
        stimulus.samples_per_bit = spb;
        stimulus.sample_interval = dt;
        stimulus.pattern.prbs_order = 15;
        stimulus.jitter = row.jitter;
        amisim::JitteredSource source(stimulus);
        amisim::ChannelStream stream({0.25, 0.25, 0.25, 0.25}, source,
                                     amisim::Convolution::kDirect);
        amisim::CrossingJitterSettings settings;
        settings.samples_per_bit = spb;
        settings.grid_origin = 1.0;  // the average's ramp crosses 0 a sample after the edge
        amisim::CrossingJitter meter(settings);
        std::vector<double> block(8192);
        for (int i = 0; i < 400; ++i) {
            stream.read(block.data(), block.size());
            meter.add(block.data(), block.size());
        }
        const amisim::DualDiracFit fit = amisim::fit_dual_dirac(meter.histogram());
        ASSERT_TRUE(fit.fitted) << row.name;
        const double ui = spb * dt;
        if (row.deterministic) {
            EXPECT_NEAR(fit.dj * ui, row.jitter.dj, 0.1 * row.jitter.dj) << row.name;
        } else {
            EXPECT_NEAR(fit.rj * ui, row.jitter.rj, 0.1 * row.jitter.rj) << row.name;
        }
    }
}

}  // namespace
