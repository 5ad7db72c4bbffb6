// PAM4 eyes worked out by hand: each eye's opening, threshold and width,
// read at the best phase and at the receiver's instant with the eyes'
// offsets, and the level mismatch of known levels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/level_mismatch.h"
#include "tools/amisim/analysis/pam_eyes.h"
#include "tools/amisim/stimulus/bit_pattern.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Pointwise;

constexpr int kSpb = 8;
// Each symbol's level times the gain of its slot: at slot s every symbol
// lies at g[s] times its level, so eye e spans g[s] (L[e], L[e + 1]).
const std::vector<double> kGain = {0.25, 0.5, 0.75, 1.0, 1.0, 0.75, 0.5, 0.25};

// With top_at_slot_0 given, the highest symbol lies there at slot 0.
amisim::EyeAccumulator pam4_eye(const std::vector<double> &levels,
                                double top_at_slot_0 = std::nan("")) {
    amisim::BitPattern pattern;
    amisim::SymbolStream symbols(pattern, 4);
    std::vector<double> wave;
    for (int k = 0; k < 500; ++k) {
        const int symbol = symbols.next();
        for (double g : kGain) {
            wave.push_back(levels[static_cast<std::size_t>(symbol)] * g);
        }
        if (symbol == 3 && !std::isnan(top_at_slot_0)) {
            wave[wave.size() - kSpb] = top_at_slot_0;
        }
    }
    amisim::EyeLayout layout;
    layout.samples_per_bit = kSpb;
    layout.centre = kSpb / 2;  // sample n is slot n mod 8 of symbol n / 8
    layout.levels = 4;
    amisim::EyeAccumulator eye(layout);
    eye.add(wave.data(), wave.size());
    return eye;
}

// With the levels -1/2, -1/6, 1/6, 1/2 each eye is g/3 high: 1/3 V at the
// best slot, 4 (nearest the centre of the two with g = 1). The centre
// eye's own threshold, 0, lies inside it at every slot. The upper eye's,
// 1/3, lies inside it where g/2 > 1/3 and g/6 < 1/3: at g = 1 and 0.75,
// slots 2 to 5, with margins 1/6 and 1/24; at g = 0.5 it misses by 1/12.
// So its width runs from slot 4 to 1/3 of a slot beyond slot 5, and to
// 1/3 beyond slot 2: 3 2/3 samples; the lower eye's alike.
TEST(PamEyes, OpeningsThresholdsAndWidthsWorkedByHand) {
    const amisim::EyeAccumulator eye = pam4_eye(amisim::pam_levels(4));
    const amisim::PamEyes pam = amisim::read_pam_eyes(eye.density(), {});
    ASSERT_EQ(pam.eyes.size(), 3u);
    const double own_centres[] = {-1.0 / 3.0, 0.0, 1.0 / 3.0};
    const double widths[] = {3.0 + 2.0 / 3.0, 8.0, 3.0 + 2.0 / 3.0};
    for (std::size_t e = 0; e < 3; ++e) {
        SCOPED_TRACE(e);
        const amisim::PamEye &p = pam.eyes[e];
        ASSERT_TRUE(p.measured);
        EXPECT_EQ(p.slot, 4);
        EXPECT_NEAR(p.height, 1.0 / 3.0, 1e-15);
        EXPECT_THAT(
            p.figures.bathtub,
            Pointwise(DoubleNear(1e-15), std::vector<double>{1.0 / 12, 1.0 / 6, 0.25, 1.0 / 3,
                                                             1.0 / 3, 0.25, 1.0 / 6, 1.0 / 12}));
        EXPECT_TRUE(p.own_centre);
        EXPECT_NEAR(p.threshold, own_centres[e], 1e-15);
        EXPECT_NEAR(p.width, widths[e], 1e-12);
    }
    EXPECT_THAT(pam.level_means, Pointwise(DoubleNear(1e-15), amisim::pam_levels(4)));
    ASSERT_TRUE(pam.mismatch.measured);
    EXPECT_NEAR(pam.mismatch.rlm, 1.0, 1e-12);
}

// At the receiver's instant (slot 4) with the upper eye sampled 2 slots
// early and the lower one 3 late. The lower eye, at g = 0.25, is 1/12 V
// high around its own centre -1/12, which lies inside it at margin
// min(1/12 - g/6, g/2 - 1/12): 1/24 at g = 0.25 (slots 7 and 0), 0 at g =
// 0.5 (slots 6 and 1): 3 samples. The centre eye's threshold, given at
// 0.1, lies inside it at margin g/6 - 0.1: at slots 2 to 5 (1/40 at g =
// 0.75), not at g = 0.5 (-1/60): 0.6 of a slot beyond each. The upper eye,
// at g = 0.75, is 0.25 V high around 0.25, at margin min(g/2 - 1/4, 1/4 -
// g/6): 1/8 at g = 0.75, 0 at g = 0.5: from slot 1 to slot 6, 5 samples.
TEST(PamEyes, ReadAtTheReceiversInstantWithEachEyesOffsetAndThreshold) {
    const amisim::EyeAccumulator eye = pam4_eye(amisim::pam_levels(4));
    amisim::PamEyeSettings settings;
    settings.at_centre = true;
    settings.offsets = {3, 0, -2};
    settings.thresholds = {std::nan(""), 0.1, std::nan("")};
    const amisim::PamEyes pam = amisim::read_pam_eyes(eye.density(), settings);
    struct Expected {
        int slot;
        double height;
        double threshold;
        bool own_centre;
        double width;
    };
    const Expected expected[] = {
        {7, 1.0 / 12, -1.0 / 12, true, 3.0},
        {4, 1.0 / 3, 0.1, false, 3.0 + 2 * 0.6},
        {2, 0.25, 0.25, true, 5.0},
    };
    for (std::size_t e = 0; e < 3; ++e) {
        SCOPED_TRACE(e);
        EXPECT_EQ(pam.eyes[e].slot, expected[e].slot);
        EXPECT_NEAR(pam.eyes[e].height, expected[e].height, 1e-15);
        EXPECT_NEAR(pam.eyes[e].threshold, expected[e].threshold, 1e-15);
        EXPECT_EQ(pam.eyes[e].own_centre, expected[e].own_centre);
        EXPECT_NEAR(pam.eyes[e].width, expected[e].width, 1e-12);
    }
}

// An eye's upper edge is the lowest sample of every symbol above it, not
// only of the next: the highest symbol dipping to 0 V at slot 0 (g = 1/4)
// halves the centre eye there (from 1/12 to 1/24 V) and closes the upper
// one (its edges 1/24 and 0), while the lower eye keeps its 1/12.
TEST(PamEyes, AnEyesEdgesAreThoseOfEverySymbolBeyondIt) {
    const amisim::EyeAccumulator eye = pam4_eye(amisim::pam_levels(4), 0.0);
    const double at_slot_0[] = {1.0 / 12, 1.0 / 24, -1.0 / 24};
    for (int e = 0; e < 3; ++e) {
        EXPECT_NEAR(amisim::eye_figures(eye.density(), e).bathtub[0], at_slot_0[e], 1e-15) << e;
    }
}

TEST(LevelMismatch, OfKnownLevels) {
    struct Row {
        const char *name;
        std::vector<double> means;
        bool measured;
        double rlm;
    };
    const Row rows[] = {
        {"equally spaced", {-0.5, -1.0 / 6.0, 1.0 / 6.0, 0.5}, true, 1.0},
        // V_mid 0, ES1 = 0.4, ES2 = 0.3: min(1.2, 0.9, 0.8, 1.1).
        {"inner levels apart", {-0.5, -0.2, 0.15, 0.5}, true, 0.8},
        // Around V_mid = 1 V: ES1 = ES2 = 0.2.
        {"compressed inner levels, offset", {-0.5, 0.7, 1.3, 2.5}, true, 0.6},
        {"three levels", {-0.5, 0.0, 0.5}, false, 0.0},
        {"a level never seen", {-0.5, std::nan(""), 1.0 / 6.0, 0.5}, false, 0.0},
    };
    for (const Row &row : rows) {
        const amisim::LevelMismatch mismatch = amisim::level_mismatch(row.means);
        EXPECT_EQ(mismatch.measured, row.measured) << row.name;
        EXPECT_NEAR(mismatch.rlm, row.rlm, 1e-12) << row.name;
    }
    // Measured on the waveform at the centre slot.
    const std::vector<double> levels = {-0.5, -0.2, 0.15, 0.5};
    EXPECT_NEAR(amisim::read_pam_eyes(pam4_eye(levels).density(), {}).mismatch.rlm, 0.8, 1e-12);
}

}  // namespace
