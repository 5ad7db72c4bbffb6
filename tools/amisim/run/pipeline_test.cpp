// The pipeline driven directly: models of known behaviour over short
// channels, a few thousand bits, the figures checked against what those
// models must give.
#include "tools/amisim/run/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

#ifndef AMISIM_FAKE_MODELS
#define AMISIM_FAKE_MODELS "."
#endif

namespace {

using amisim::RunResults;
using amisim::RunSetting;

std::string fake(const char *name) {
    return std::string(AMISIM_FAKE_MODELS) + "/" + name + ".so";
}

std::unique_ptr<amisim::ModelSession> open(const std::string &path) {
    std::string error;
    auto session = amisim::open_in_process(path, error);
    EXPECT_NE(session, nullptr) << error;
    return session;
}

// A run of bits over the given channel (1/s at dt), the model alone or
// with a receiver, writing no files.
RunSetting setting_for(std::vector<double> channel, int spb, std::int64_t bits) {
    RunSetting setting;
    setting.channel.columns.push_back(std::move(channel));
    setting.dt = 1e-12;
    setting.spb = spb;
    setting.bits = bits;
    setting.bits_per_call = 64;
    return setting;
}

RunResults run(const RunSetting &setting, const std::string &tx_path,
               const std::string &rx_path = "") {
    auto tx = open(tx_path);
    std::unique_ptr<amisim::ModelSession> rx = rx_path.empty() ? nullptr : open(rx_path);
    RunSetting with_models = setting;
    with_models.model_path = tx_path;
    with_models.rx_path = rx_path;
    RunResults results;
    amisim::run_pipeline(with_models, *tx, rx.get(), results);
    return results;
}

// A lossy channel of a few bits: a decaying exponential.
std::vector<double> lossy_channel(std::size_t samples) {
    std::vector<double> h(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        h[n] = 8e10 * std::exp(-static_cast<double>(n) / 9.0) *
               (1.0 - std::exp(-static_cast<double>(n + 1) / 3.0));
    }
    return h;
}

// A gain of 2 is exact in binary: the response after the model is twice
// the channel's, and so is the eye after its AMI_GetWave, as wide.
TEST(Pipeline, ModelAloneScalesResponsesAndEyesByItsGain) {
    RunSetting setting = setting_for(lossy_channel(40), 8, 3000);
    setting.parameters = "(Vendor_Gain (G 2))";
    const RunResults r = run(setting, fake("vendor_gain_model"));
    ASSERT_TRUE(r.complete()) << r.failure;
    EXPECT_FALSE(r.link);
    EXPECT_EQ(r.transmitter.init.parameters_out.text, "(Vendor_Gain(G 2))");
    EXPECT_EQ(r.after_tx.area, 2.0 * r.channel.area);
    EXPECT_EQ(r.after_tx.main_cursor, 2.0 * r.channel.main_cursor);
    ASSERT_TRUE(r.before_get_wave.measured && r.after_get_wave.has_value());
    EXPECT_EQ(r.after_get_wave->height, 2.0 * r.before_get_wave.height);
    EXPECT_EQ(r.after_get_wave->width, r.before_get_wave.width);
    EXPECT_EQ(r.stream.samples, 3000u * 8u);
    EXPECT_EQ(r.stream.calls, (3000u + 63u) / 64u);
    EXPECT_EQ(r.settle_bits, r.fill_bits);
    EXPECT_FALSE(r.at_clock.has_value());
}

// A receiver that delays by 3 samples and halves: the combined responses
// are the transmitted ones delayed and halved, every column; the eye after
// it is half the eye before it, as wide.
TEST(Pipeline, LinkThroughAReceiverOfKnownDelayAndGain) {
    RunSetting setting = setting_for(lossy_channel(200), 8, 2000);
    std::vector<double> aggressor(200);
    for (std::size_t n = 0; n < aggressor.size(); ++n) {
        aggressor[n] = static_cast<double>((n * 11) % 29) * 1e7;
    }
    setting.channel.columns.push_back(aggressor);
    setting.parameters = "(Halvorin_7314_Tx (TX_Preemph 1))";
    setting.rx_parameters = "(Fake_Rx (D 3) (G 0.5))";
    const RunResults r = run(setting, AMI_MODEL_LIBRARY, fake("fake_rx_model"));
    ASSERT_TRUE(r.complete()) << r.failure;
    ASSERT_TRUE(r.link && r.receiver.has_value());
    ASSERT_EQ(r.after_rx_init.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        for (std::size_t n = 0; n < 200; ++n) {
            const double want = n >= 3 ? r.after_tx_init[k][n - 3] / 2 : 0.0;
            ASSERT_EQ(r.after_rx_init[k][n], want) << "column " << k << " sample " << n;
        }
    }
    ASSERT_TRUE(r.after_get_wave.has_value());
    EXPECT_NEAR(r.after_get_wave->height, r.before_get_wave.height / 2, 1e-12);
    EXPECT_EQ(r.after_get_wave->width, r.before_get_wave.width);
}

// Over a channel of one sample the waveform is the stimulus itself, 16
// samples a bit; ticks at samples n = P (mod 16) put the sampling instants
// P samples after the middle of the bits: the phase is P/16 UI at every
// tick, and the eye at the clock is open (1 V) over the 16 - |P| phases
// that stay inside the bit, closed (-1 V: a 1 and a 0 swapped) at others.
TEST(Pipeline, EyeAtTheReceiversClockTicks) {
    struct Case {
        int phase;
        double width_ui;
        std::vector<double> bathtub_at;  // -8, -4, 0, +4 and +7 samples from the instant
    };
    RunSetting base = setting_for({3.2e11}, 16, 2000);
    base.dt = 3.125e-12;  // a tap of 1
    for (const Case &c : std::vector<Case>{{0, 1.0, {1, 1, 1, 1, 1}},
                                           {4, 0.75, {1, 1, 1, -1, -1}},
                                           {-4, 0.75, {-1, 1, 1, 1, 1}},
                                           {6, 0.625, {1, 1, 1, -1, -1}},
                                           {-7, 0.5625, {-1, -1, 1, 1, 1}}}) {
        SCOPED_TRACE("P = " + std::to_string(c.phase));
        RunSetting setting = base;
        setting.parameters = "(Vendor_Gain (G 1))";
        setting.rx_parameters = "(Fake_Rx (P " + std::to_string(c.phase) + "))";
        const RunResults r = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
        ASSERT_TRUE(r.complete()) << r.failure;
        ASSERT_TRUE(r.at_clock.has_value());
        EXPECT_DOUBLE_EQ(r.clock.phase_mean, c.phase / 16.0);
        EXPECT_EQ(r.clock.phase_spread, 0.0);
        EXPECT_NEAR(r.at_clock->width / 16, c.width_ui, 1e-3);
        EXPECT_EQ(r.after_get_wave->width, 16.0);  // open at every phase before the clock
        std::vector<double> got;
        for (int slot : {0, 4, 8, 12, 15}) {
            got.push_back(r.at_clock->bathtub[static_cast<std::size_t>(slot)]);
        }
        EXPECT_EQ(got, c.bathtub_at);
    }
    // A receiver that returns no ticks: no eye at its clock.
    RunSetting setting = base;
    setting.parameters = "(Vendor_Gain (G 1))";
    setting.rx_parameters = "(Fake_Rx (T 0))";
    const RunResults r = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
    ASSERT_TRUE(r.complete()) << r.failure;
    EXPECT_EQ(r.clock.ticks, 0u);
    EXPECT_FALSE(r.at_clock.has_value());
}

// A model that fails stops the run with the reason; what was found before
// stays in the results.
TEST(Pipeline, FailuresStopTheRunWithTheReason) {
    struct Case {
        const char *name;
        const char *tx;
        const char *rx;
        const char *failure;
        bool streamed;
    };
    for (const Case &c : std::vector<Case>{
             {"model's Init", "vendor_init_fails", "", "the model's AMI_Init returned 0", false},
             {"receiver's Init", "vendor_gain_model", "vendor_init_fails",
              "the receiver's AMI_Init returned 0", false},
             {"model's GetWave", "vendor_getwave_fails", "",
              "the model's AMI_GetWave returned 0 at sample 512", true},
             {"receiver's GetWave", "vendor_gain_model", "vendor_getwave_fails",
              "the receiver's AMI_GetWave returned 0 at sample 512", true},
             {"transmitter's GetWave", "vendor_getwave_fails", "fake_rx_model",
              "the transmitter's AMI_GetWave returned 0 at sample 512", true},
         }) {
        SCOPED_TRACE(c.name);
        RunSetting setting = setting_for(lossy_channel(40), 8, 1000);
        setting.parameters = "(Vendor_Gain (G 1))";
        setting.rx_parameters = "(x)";
        const RunResults r = run(setting, fake(c.tx), *c.rx == '\0' ? "" : fake(c.rx));
        EXPECT_EQ(r.status, amisim::kModelFailed);
        EXPECT_NE(r.failure.find(c.failure), std::string::npos) << r.failure;
        EXPECT_EQ(r.streamed, c.streamed);
        EXPECT_TRUE(r.transmitter.initialised);
    }
}

// A whole run with the error-rate analysis through a linear receiver
// (half the gain, a delay of 3 samples): the errors counted at its
// decisions and the statistical eye's rate at their phases agree near
// 1e-3, whether the noise is added to every sample at the receiver's
// input (and taken into the statistical eye through the receiver's noise
// gain, 1/2, measured on a second instance) or at each decision, with the
// receiver's own clock or without, with the receiver's jitter and with an
// aggressor driven by a transmitter instance of its own. The interval is
// 99.9% wide: jitter and the symbols' patterns make neighbouring decisions
// err together, which widens the count's spread beyond the binomial. The
// seeded run counts the same errors and crossings on both word sizes.
TEST(Pipeline, CountedAndStatisticalErrorRatesOfAWholeRunAgree) {
    struct Case {
        const char *name;
        double input_noise;
        double decision_noise;
        amisim::Jitter rx_jitter;
        const char *ticks;  // the receiver's T and P
        bool aggressor;
        std::uint64_t errors;  // of the seeded run
        std::uint64_t crossings;
    };
    const Case cases[] = {
        {"noise at the receiver's input", 0.06, 0.0, {}, "(T 0)", false, 125, 242437},
        {"noise at the decisions, jitter, the receiver's clock",
         0.0,
         0.03,
         {0.2e-12, 0.4e-12, 0.0, 0.0, 0.2e-12},
         "(T 1) (P 10)",
         false,
         158,
         100785},
        {"an aggressor", 0.06, 0.0, {}, "(T 0)", true, 146, 242703},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RunSetting setting = setting_for(lossy_channel(120), 16, 200000);
        setting.convolution = amisim::Convolution::kDirect;  // the same sums on both word sizes
        if (c.aggressor) {
            std::vector<double> coupled = lossy_channel(120);
            for (double &h : coupled) {
                h *= 0.05;
            }
            setting.channel.columns.push_back(coupled);
        }
        setting.parameters = "(Vendor_Gain (G 1))";
        setting.rx_parameters = std::string("(Fake_Rx (D 3) (G 0.5) ") + c.ticks + ")";
        setting.ber = true;
        setting.input_noise = c.input_noise;
        setting.impairments.rx_noise = c.decision_noise;
        setting.impairments.rx = c.rx_jitter;
        const RunResults r = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
        ASSERT_TRUE(r.complete()) << r.failure;
        ASSERT_TRUE(r.counted && r.statistical.has_value()) << r.statistical_error;
        EXPECT_EQ(r.noise_gain, c.input_noise > 0.0 ? 0.5 : 1.0);
        EXPECT_EQ(r.receiver_clock, std::string(c.ticks) != "(T 0)");
        const amisim::Interval interval =
            amisim::wilson_interval(r.errors.errors, r.errors.decisions, 3.2905);
        EXPECT_GE(r.statistical_ber, interval.low) << r.errors.ber;
        EXPECT_LE(r.statistical_ber, interval.high) << r.errors.ber;
        EXPECT_EQ(r.errors.errors, c.errors);
        EXPECT_EQ(r.tie.crossings, c.crossings);
    }
}

// A PAM4 run through the same linear receiver with noise at the
// decisions: the symbol errors counted at the thresholds and the
// statistical eye's symbol error rate agree (near 1e-3, 1e-2 with the outer
// eyes a sample off the centre), at the receiver's
// clock or at the best phase, at each eye's own centre in the statistical
// eye or at thresholds given, which are decided at as given, and with the
// eyes sampled at offsets from the receiver's instant, where the eyes at
// its clock are read too; with Gray
// mapping an error between neighbouring levels turns one bit of two, so the
// bit error rate is half the symbol error rate, counted and statistical.
// PRBS15: the statistical eye takes every pattern of the symbols around a
// decision as equally likely, which PRBS7's 127 do not cover. The seeded
// runs count the same errors on both word sizes.
TEST(Pipeline, Pam4CountedAndStatisticalSymbolErrorRatesAgree) {
    struct Case {
        const char *name;
        std::vector<double> thresholds;  // NaN: the eye's own centre
        std::vector<int> offsets;        // samples
        const char *ticks;
        std::uint64_t errors;
    };
    const double centre = std::nan("");
    const Case cases[] = {
        {"own centres, the receiver's clock", {}, {}, "(T 1) (P 10)", 202},
        {"thresholds given, best phase", {-0.077, centre, 0.077}, {}, "(T 0)", 322},
        {"eye offsets", {}, {-1, 0, 1}, "(T 1) (P 10)", 2224},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RunSetting setting = setting_for(lossy_channel(120), 16, 200000);
        setting.convolution = amisim::Convolution::kDirect;
        setting.prbs_order = 15;
        setting.levels = amisim::pam_levels(4);
        setting.thresholds = c.thresholds;
        setting.eye_offsets = c.offsets;
        setting.parameters = "(Vendor_Gain (G 1))";
        setting.rx_parameters = std::string("(Fake_Rx (D 3) (G 0.5) ") + c.ticks + ")";
        setting.ber = true;
        setting.impairments.rx_noise = 0.0035;
        const RunResults r = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
        ASSERT_TRUE(r.complete()) << r.failure;
        ASSERT_TRUE(r.counted && r.statistical.has_value()) << r.statistical_error;
        EXPECT_EQ(r.receiver_clock, r.pam_clock.has_value());
        const amisim::ErrorFigures &e = r.errors;
        const amisim::Interval interval = amisim::wilson_interval(e.errors, e.decisions);
        EXPECT_GE(r.statistical_ber, interval.low) << e.ber;
        EXPECT_LE(r.statistical_ber, interval.high) << e.ber;
        EXPECT_EQ(e.bits, 2 * e.decisions);
        EXPECT_EQ(e.bit_errors, e.errors);
        EXPECT_EQ(r.statistical_bit_error_rate, r.statistical_ber / 2);
        ASSERT_EQ(r.thresholds.size(), 3u);
        for (std::size_t k = 0; k < c.thresholds.size(); ++k) {
            if (!std::isnan(c.thresholds[k])) {
                EXPECT_EQ(r.thresholds[k], c.thresholds[k]);
                EXPECT_EQ(r.statistical->thresholds[k], c.thresholds[k]);
            }
        }
        for (std::size_t k = 0; k < c.offsets.size(); ++k) {
            EXPECT_EQ(r.pam_clock->eyes[k].slot, 8 + c.offsets[k]);
        }
        EXPECT_EQ(e.errors, c.errors);
    }
}

// Aggressor columns of the channel go through AMI_Init only, as they
// always did, until the error-rate analysis is asked for: then each drives
// the waveform at the receiver's input through its own transmitter
// instance, and a strong one closes the eye there by most of its worst
// case (the largest sum of its pulse response's magnitudes one bit apart;
// its random bits reach near that in 3000). The statistical eye is worked
// out either way, without counting.
TEST(Pipeline, AggressorsReachTheWaveformWithTheErrorRateAnalysisOnly) {
    RunSetting setting = setting_for(lossy_channel(40), 8, 3000);
    setting.parameters = "(Vendor_Gain (G 1))";
    setting.rx_parameters = "(Fake_Rx (T 0))";
    const RunResults alone = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
    std::vector<double> coupled = lossy_channel(40);
    for (double &h : coupled) {
        h *= -0.3;
    }
    setting.channel.columns.push_back(coupled);
    const RunResults init_only = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
    setting.ber = true;
    const RunResults driven = run(setting, fake("vendor_gain_model"), fake("fake_rx_model"));
    for (const RunResults *r : {&alone, &init_only, &driven}) {
        ASSERT_TRUE(r->complete()) << r->failure;
        ASSERT_TRUE(r->statistical.has_value()) << r->statistical_error;
    }
    EXPECT_FALSE(init_only.counted);
    EXPECT_EQ(init_only.before_get_wave.height, alone.before_get_wave.height);
    auto statistical_height = [](const RunResults &r) {
        const amisim::EyeOpening &opening = r.statistical->openings[0];
        return opening.open ? opening.height : 0.0;
    };
    EXPECT_GT(statistical_height(alone), 0.0);
    EXPECT_LT(statistical_height(init_only), statistical_height(alone));
    double worst = 0.0;
    const amisim::ResponseFigures aggressor =
        amisim::measure_response(init_only.after_rx_init[1], 8, setting.dt);
    for (std::size_t phase = 0; phase < 8; ++phase) {
        double sum = 0.0;
        for (std::size_t i = phase; i < aggressor.pulse.size(); i += 8) {
            sum += std::fabs(aggressor.pulse[i]);
        }
        worst = std::max(worst, sum);
    }
    ASSERT_TRUE(driven.counted);
    EXPECT_LT(driven.before_get_wave.height, alone.before_get_wave.height - 0.7 * 2 * 0.5 * worst);
    EXPECT_GE(driven.before_get_wave.height,
              alone.before_get_wave.height - 2 * 0.5 * worst - 1e-12);
}

// The model alone: its AMI_GetWave follows the channel, so the aggressors
// and the noise at the receiver's input are added to its output, where the
// decisions are counted at the statistical eye's best phase; the count
// agrees with the statistical rate there.
TEST(Pipeline, ModelAloneCountsAtItsOutputWithAggressorsAndNoise) {
    RunSetting setting = setting_for(lossy_channel(120), 16, 200000);
    std::vector<double> coupled = lossy_channel(120);
    for (double &h : coupled) {
        h *= 0.05;
    }
    setting.channel.columns.push_back(coupled);
    setting.parameters = "(Vendor_Gain (G 0.5))";
    setting.ber = true;
    setting.input_noise = 0.03;
    const RunResults r = run(setting, fake("vendor_gain_model"));
    ASSERT_TRUE(r.complete()) << r.failure;
    ASSERT_TRUE(r.counted && r.statistical.has_value()) << r.statistical_error;
    EXPECT_FALSE(r.receiver_clock);
    EXPECT_EQ(r.noise_gain, 1.0);
    EXPECT_EQ(r.statistical_phase * 16, r.sampling_offset);
    const amisim::Interval interval =
        amisim::wilson_interval(r.errors.errors, r.errors.decisions, 3.2905);
    EXPECT_GT(r.errors.errors, 50u);
    EXPECT_GE(r.statistical_ber, interval.low) << r.errors.ber;
    EXPECT_LE(r.statistical_ber, interval.high) << r.errors.ber;
}

// The figures of the default run of this model with pre-emphasis at corner
// 1 over the built-in channel, as the stand-in has always printed them.
TEST(Pipeline, TheModelsFiguresOverTheBuiltInChannel) {
    RunSetting setting;
    setting.dt = 3.125e-12;
    setting.spb = 32;
    setting.bits = 4096;
    setting.channel = amisim::default_channel({}, setting.dt, 128 * 32);
    setting.parameters = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
    const RunResults r = run(setting, AMI_MODEL_LIBRARY);
    ASSERT_TRUE(r.complete()) << r.failure;
    auto text = [](const char *format, double value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, format, value);
        return std::string(buffer);
    };
    EXPECT_EQ(text("%.2f", r.channel.post_db), "-10.12");
    EXPECT_EQ(text("%.2f", r.after_tx.post_db), "-24.57");
    EXPECT_EQ(text("%.6g", r.after_tx.pda), "0.270104");
    EXPECT_EQ(text("%.6g", r.before_get_wave.height), "0.176067");
    EXPECT_EQ(text("%.6g", r.after_get_wave->height), "0.434199");
    EXPECT_EQ(text("%.3f", r.after_get_wave->width / 32), "0.827");
    EXPECT_EQ(r.settle_bits, 129);
}

}  // namespace
