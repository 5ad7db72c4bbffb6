// The blocks doing their job together on a link: a PRBS through transmit
// FFE, a lossy channel, AGC and clock recovery; and the FFE and the DFE
// each cancelling a known first post-cursor of a pulse response.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Pointwise;

constexpr int kSpb = 32;
constexpr double kInterval = 1e-12;
constexpr int32_t kBlock = 512;

// Levels of +-0.5, kSpb samples a bit, delay samples late.
std::vector<double> levels(const std::vector<int> &bits, int delay) {
    std::vector<double> wave(static_cast<std::size_t>(delay), bits[0] != 0 ? -0.5 : 0.5);
    for (int bit : bits) {
        wave.insert(wave.end(), kSpb, bit != 0 ? 0.5 : -0.5);
    }
    return wave;
}

// Two equal first-order sections, sample by sample.
std::vector<double> low_pass(const std::vector<double> &wave, double pole) {
    std::vector<double> out(wave.size());
    double first = wave[0];
    double second = wave[0];
    for (std::size_t t = 0; t < wave.size(); ++t) {
        first = pole * first + (1 - pole) * wave[t];
        second = pole * second + (1 - pole) * first;
        out[t] = second;
    }
    return out;
}

template <typename Apply>
void in_blocks(std::vector<double> &wave, Apply apply, int32_t block = kBlock) {
    const auto size = static_cast<std::size_t>(block);
    for (std::size_t done = 0; done < wave.size(); done += size) {
        const auto n = static_cast<int32_t>(std::min(size, wave.size() - done));
        apply(wave.data() + done, n);
    }
}

// Distance between two phases on a circle of kSpb samples.
double phase_distance(double a, double b) {
    const double d = std::fabs(std::fmod(a - b, kSpb));
    return std::min(d, kSpb - d);
}

// Phase (samples, modulo a bit) of the mean zero crossing of the waveform,
// from its crossings after the first settle samples.
double crossing_phase(const std::vector<double> &wave, std::size_t settle) {
    double c = 0;
    double s = 0;
    for (std::size_t n = settle; n < wave.size(); ++n) {
        if ((wave[n - 1] > 0) != (wave[n] > 0)) {
            const double t = static_cast<double>(n - 1) + wave[n - 1] / (wave[n - 1] - wave[n]);
            const double angle = 2 * M_PI * t / kSpb;
            c += std::cos(angle);
            s += std::sin(angle);
        }
    }
    const double phase = std::atan2(s, c) * kSpb / (2 * M_PI);
    return phase < 0 ? phase + kSpb : phase;
}

class RecoveredLink : public ::testing::TestWithParam<int> {};

// Transmitter FFE with a de-emphasis tap, a two-pole low-pass channel,
// AGC, then the CDR in auto mode, each in blocks of its own. After lock
// every data decision is the transmitted bit, every data instant lies
// within one phase step of the eye centre (half a bit from the mean
// crossing), and the AGC holds the target level.
TEST_P(RecoveredLink, DecisionsAreTheBitsAndTheClockSitsInTheEyeCentre) {
    const int delay = GetParam();
    const std::vector<int> bits = prbs7_bits(3000);
    std::vector<double> wave = levels(bits, delay);

    const double ffe_taps[] = {1.0, -0.2};
    const Owned<TxFFE, DeleteTxFFE> ffe(SetupTxFFE(kSpb, 2, 0, ffe_taps));
    in_blocks(wave, [&](double *w, int32_t n) { ApplyTxFFE(w, n, ffe.get(), 0, w); });
    wave = low_pass(wave, 0.85);
    const double eye_centre = std::fmod(crossing_phase(wave, 600 * kSpb) + kSpb / 2, kSpb);

    const Owned<AGC, DeleteAGC> agc(SetupAGC(0.3, nullptr, 0, 0.0, 0));
    // Two bits a call: the level settles within the first half of the run.
    in_blocks(
        wave, [&](double *w, int32_t n) { ApplyAGC(w, n, agc.get(), 0, w); }, 2 * kSpb);

    const double phase_step = 1.0 / kSpb;  // one sample
    const Owned<CDR, DeleteCDR> cdr(
        SetupCDR("auto", phase_step, 8, 0.0, 64, kSpb, 0.0, 0.0, nullptr, 0));
    std::vector<double> ticks;
    std::vector<double> decisions;  // the data decision each tick shifts in
    std::vector<double> clock(kBlock + 1, 0.0);
    in_blocks(wave, [&](double *w, int32_t n) {
        const int32_t count = ApplyCDR(w, n, cdr.get(), kInterval, 0, clock.data());
        for (int32_t k = 0; k < count; ++k) {
            ticks.push_back(clock[static_cast<std::size_t>(k)]);
            decisions.push_back(cdr->decisions[count - 1 - k]);
        }
    });
    ASSERT_GE(ticks.size(), bits.size() - 1);

    const std::size_t locked = 600;
    // The decisions are the bits, some whole bits late.
    int lag = -1;
    for (int candidate = 0; candidate <= 4 && lag < 0; ++candidate) {
        bool all = true;
        for (std::size_t k = locked; k < decisions.size() && all; ++k) {
            all = decisions[k] == (bits[k - static_cast<std::size_t>(candidate)] != 0 ? 0.5 : -0.5);
        }
        lag = all ? candidate : -1;
    }
    EXPECT_GE(lag, 0) << "the data decisions after lock are not the transmitted bits";

    // A tick written at tau samples its edge one sample earlier, and the data
    // instant lies half a bit after the edge.
    double worst = 0;
    for (std::size_t k = locked; k < ticks.size(); ++k) {
        const double data_instant = ticks[k] / kInterval - 1 + kSpb / 2;
        worst = std::max(worst, phase_distance(data_instant, eye_centre));
    }
    EXPECT_LE(worst, phase_step * kSpb) << "eye centre at " << eye_centre << " samples";

    // The AGC has brought the RMS level to its target.
    double squares = 0;
    const std::size_t from = wave.size() / 2;
    for (std::size_t t = from; t < wave.size(); ++t) {
        squares += wave[t] * wave[t];
    }
    EXPECT_NEAR(std::sqrt(squares / static_cast<double>(wave.size() - from)), 0.3, 0.3 * 0.02);
}

INSTANTIATE_TEST_SUITE_P(SubBitDelays, RecoveredLink, ::testing::Values(0, 5, 13, 21, 30),
                         [](const ::testing::TestParamInfo<int> &row) {
                             return "delay_" + std::to_string(row.param) + "_samples";
                         });

// A channel whose impulse response is constant over each bit (kSpb samples
// at kInterval): its pulse response, sampled at the end of each bit, is
// then exactly the per-bit areas: a precursor 0.05, the main cursor 0.6
// and post-cursors 0.25, 0.1 and 0.04.
constexpr double kCursors[] = {0.05, 0.6, 0.25, 0.1, 0.04};

std::vector<double> staircase_impulse() {
    std::vector<double> impulse(8 * kSpb, 0.0);
    for (std::size_t b = 0; b < 5; ++b) {
        for (std::size_t s = 0; s < kSpb; ++s) {
            impulse[b * kSpb + s] = kCursors[b] / (kSpb * kInterval);
        }
    }
    return impulse;
}

// The pulse response at the end of bits 0 .. 5.
std::vector<double> cursors_of(const std::vector<double> &impulse) {
    std::vector<double> pulse(impulse.size());
    I2P(pulse.data(), impulse.data(), static_cast<int32_t>(impulse.size()), kSpb, kInterval);
    std::vector<double> cursors;
    for (std::size_t b = 0; b < 6; ++b) {
        cursors.push_back(pulse[(b + 1) * kSpb - 1]);
    }
    return cursors;
}

TEST(EqualisedPulse, DFEAutoOnTheImpulseResponseCancelsTheFirstPostCursor) {
    std::vector<double> impulse = staircase_impulse();
    ASSERT_THAT(cursors_of(impulse),
                Pointwise(DoubleNear(1e-12), {0.05, 0.6, 0.25, 0.1, 0.04, 0.0}));
    const Owned<DFE, DeleteDFE> dfe(
        SetupDFE(1, nullptr, kSpb, -1, 1, 0.001, "auto", 0.0, nullptr, 0));
    ApplyDFE(impulse.data(), static_cast<int32_t>(impulse.size()), dfe.get(), 1, kInterval, nullptr,
             impulse.data());
    EXPECT_NEAR(dfe->taps[0], -0.25, 1e-12);
    EXPECT_THAT(cursors_of(impulse),
                Pointwise(DoubleNear(1e-12), {0.05, 0.6, 0.0, 0.1, 0.04, 0.0}));
}

TEST(EqualisedPulse, TxFFECancelsTheFirstPostCursor) {
    const std::vector<double> impulse = staircase_impulse();
    std::vector<double> pulse(impulse.size());
    I2P(pulse.data(), impulse.data(), static_cast<int32_t>(impulse.size()), kSpb, kInterval);
    // Main tap 1, first post tap -p1 / p0: y[main + 1 bit] = p1 - (p1 / p0) p0 = 0.
    const double taps[] = {1.0, -0.25 / 0.6};
    const Owned<TxFFE, DeleteTxFFE> ffe(SetupTxFFE(kSpb, 2, 0, taps));
    ApplyTxFFE(pulse.data(), static_cast<int32_t>(pulse.size()), ffe.get(), 0, pulse.data());
    std::vector<double> cursors;
    for (std::size_t b = 0; b < 6; ++b) {
        cursors.push_back(pulse[(b + 1) * kSpb - 1]);
    }
    const double c = -0.25 / 0.6;
    EXPECT_THAT(cursors, Pointwise(DoubleNear(1e-12), {0.05, 0.6 + c * 0.05, 0.0, 0.1 + c * 0.25,
                                                       0.04 + c * 0.1, c * 0.04}));
}

}  // namespace
