// The transmit FFE: worked examples, agreement with the step-by-step
// definition, tap limits and quantisation, and records it cannot filter
// with. Cutting, in-place runs, copies and the reset rule in general are the
// block contract's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_literal.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StrEq;

using OwnedFFE = Owned<TxFFE, DeleteTxFFE>;

std::vector<double> run(const TxFFE &ffe, const std::vector<double> &input, int32_t reset = 0) {
    std::vector<double> output(input.size(), -99.0);
    ApplyTxFFE(input.data(), static_cast<int32_t>(input.size()), ffe, reset, output.data());
    return output;
}

std::vector<double> taps_of(const TxFFE &ffe) {
    return {ffe.taps, ffe.taps + ffe.tap_count};
}

std::vector<double> impulse(std::size_t length) {
    std::vector<double> x(length, 0.0);
    x[0] = 1.0;
    return x;
}

TEST(TxFFE, TapsLieOneBitApart) {
    const double taps[] = {0.5, -0.25, 0.1};
    const OwnedFFE ffe(SetupTxFFE(4, 3, 77, taps));
    EXPECT_THAT(run(ffe.get(), impulse(14)),
                ElementsAre(0.5, 0, 0, 0, -0.25, 0, 0, 0, 0.1, 0, 0, 0, 0, 0));
    EXPECT_EQ(ffe->tag, 77);
    EXPECT_EQ(ffe->history_length, 12);
}

TEST(TxFFE, SingleTapScalesTheInput) {
    const double tap = -1.5;
    const OwnedFFE ffe(SetupTxFFE(3, 1, 0, &tap));
    EXPECT_THAT(run(ffe.get(), {1, -2, 0.5, 4}), ElementsAre(-1.5, 3, -0.75, -6));
}

TEST(TxFFE, SetupStoresTapsUnchangedAndDefaultLimits) {
    const double taps[] = {3.0, -7.25};
    const OwnedFFE ffe(SetupTxFFE(2, 2, 0, taps));
    EXPECT_THAT(taps_of(ffe.get()), ElementsAre(3.0, -7.25));
    EXPECT_THAT(std::vector<double>(ffe->max_gain, ffe->max_gain + 2), Each(1.0));
    EXPECT_THAT(std::vector<double>(ffe->min_gain, ffe->min_gain + 2), Each(-1.0));
    EXPECT_THAT(std::vector<double>(ffe->gain_step, ffe->gain_step + 2), Each(1e-06));
    EXPECT_EQ(*ffe->position, 0);

    const OwnedFFE no_taps(SetupTxFFE(2, 3, 0, nullptr));
    EXPECT_THAT(taps_of(no_taps.get()), ElementsAre(0, 0, 0));
}

TEST(TxFFE, EmptyBlockWithResetOnlyClears) {
    const double taps[] = {1.0, 0.5};
    const OwnedFFE ffe(SetupTxFFE(2, 2, 0, taps));
    (void)run(ffe.get(), {1, 2, 3});
    EXPECT_TRUE(run(ffe.get(), {}, 1).empty());
    EXPECT_EQ(*ffe->position, 0);
    EXPECT_THAT(std::vector<double>(ffe->history, ffe->history + 4), Each(0.0));
    EXPECT_THAT(run(ffe.get(), {1, 0, 0}), ElementsAre(1, 0, 0.5));
}

TEST(TxFFE, PositionOutsideTheCircleRestartsAtItsStart) {
    const double taps[] = {1.0, 0.5};
    const OwnedFFE ffe(SetupTxFFE(2, 2, 0, taps));
    for (int32_t position : {4, -1, INT32_MAX}) {
        *ffe->position = position;
        EXPECT_THAT(run(ffe.get(), {1, 0, 0}, 1), ElementsAre(1, 0, 0.5));
    }
}

// The library against the definition, bit for bit, for spacings and tap
// counts at and around the edges of the circle, in uneven blocks with a
// reset among them; the position and history cells too.
TEST(TxFFE, AgreesWithTheDefinitionBitForBit) {
    for (auto [spacing, count] : {std::pair{1, 1}, {1, 5}, {4, 1}, {32, 8}, {3, 7}, {5, 2}}) {
        SCOPED_TRACE("S " + std::to_string(spacing) + ", N " + std::to_string(count));
        std::vector<double> taps;
        for (int k = 0; k < count; ++k) {
            taps.push_back(std::sin(1.3 * k + 0.2) / (k + 1));
        }
        const OwnedFFE fast(SetupTxFFE(spacing, count, 0, taps.data()));
        const OwnedFFE slow(SetupTxFFE(spacing, count, 0, taps.data()));
        std::vector<double> input(997);
        for (std::size_t t = 0; t < input.size(); ++t) {
            input[t] = std::cos(0.37 * static_cast<double>(t)) + (t % 7 == 0 ? -0.0 : 0.25);
        }
        std::vector<double> fast_out(input.size());
        std::vector<double> slow_out(input.size());
        std::size_t done = 0;
        int call = 0;
        for (std::size_t size : {1U, 31U, 0U, 200U, 63U, 500U, 202U}) {
            const auto n = static_cast<int32_t>(std::min(size, input.size() - done));
            const int32_t reset = call++ == 4 ? 1 : 0;
            ApplyTxFFE(input.data() + done, n, fast.get(), reset, fast_out.data() + done);
            literal_apply_tx_ffe(input.data() + done, n, slow.get(), reset, slow_out.data() + done);
            done += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(std::memcmp(fast_out.data(), slow_out.data(), input.size() * sizeof(double)), 0);
        EXPECT_EQ(*fast->position, *slow->position);
        EXPECT_THAT(std::vector<double>(fast->history, fast->history + fast->history_length),
                    ElementsAreArray(slow->history, slow->history + slow->history_length));
    }
}

struct LimitCase {
    const char *name;
    double tap;
    double max_gain, min_gain, step;
    double expected;  // the tap afterwards
    bool warns;
};

// Printed by name: gtest would otherwise dump the bytes, padding included.
void PrintTo(const LimitCase &row, std::ostream *os) {
    *os << row.name;
}

class TxFFELimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(TxFFELimits, ClampThenRoundToTheStep) {
    const LimitCase &c = GetParam();
    const OwnedFFE ffe(SetupTxFFE(1, 1, 0, &c.tap));
    char msg[256] = "";
    AdvancedTxFFE(ffe.get(), &c.max_gain, &c.min_gain, &c.step, msg, sizeof msg);
    EXPECT_EQ(ffe->taps[0], c.expected);
    EXPECT_THAT(msg, StrEq(c.warns ? "**Warning** Invalid combination of max gain, min gain, "
                                     "and gain step in Tx FFE.\n"
                                   : ""));
    // Limits are installed exactly when the triple is valid.
    EXPECT_EQ(ffe->max_gain[0], c.warns ? 1.0 : c.max_gain);
    EXPECT_EQ(ffe->min_gain[0], c.warns ? -1.0 : c.min_gain);
    EXPECT_EQ(ffe->gain_step[0], c.warns ? 1e-06 : c.step);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    TxFFE, TxFFELimits,
    ::testing::Values(LimitCase{"down_to_step", 0.3, 1, -1, 0.25, 0.25, false},
                      LimitCase{"halfway_goes_up", 0.375, 1, -1, 0.25, 0.5, false},
                      LimitCase{"negative_halfway_goes_up", -0.375, 1, -1, 0.25, -0.25, false},
                      LimitCase{"clamped_to_max", 3.0, 1, -1, 0.25, 1.0, false},
                      LimitCase{"clamped_to_min", -3.0, 1, -1, 0.25, -1.0, false},
                      LimitCase{"rounded_past_the_limit", 2.0, 0.9, -0.9, 0.5, 1.0, false},
                      LimitCase{"max_equals_min", 0.3, 0.5, 0.5, 0.1, 0.3, true},
                      LimitCase{"zero_step", 0.3, 1, -1, 0, 0.3, true},
                      LimitCase{"step_equals_span", 0.3, 1, -1, 2, 0.3, true},
                      LimitCase{"max_below_min", 0.3, -1, 1, 0.25, 0.3, true},
                      LimitCase{"negative_step", 0.3, 1, -1, -0.25, 0.3, true},
                      LimitCase{"nan_max", 0.3, kNaN, -1, 0.25, 0.3, true},
                      LimitCase{"nan_step", 0.3, 1, -1, kNaN, 0.3, true}),
    [](const ::testing::TestParamInfo<LimitCase> &row) { return std::string(row.param.name); });

TEST(TxFFE, OneWarningPerInvalidTapAndTheOthersStillProcessed) {
    const double taps[] = {0.3, 0.3, 0.3};
    const OwnedFFE ffe(SetupTxFFE(2, 3, 0, taps));
    const double max_gain[] = {1, 0, 1};
    const double min_gain[] = {-1, 0, -1};
    const double steps[] = {0, 0.1, 0.25};
    std::vector<char> msg(256, '\0');
    AdvancedTxFFE(ffe.get(), max_gain, min_gain, steps, msg.data(), 256);
    EXPECT_THAT(taps_of(ffe.get()), ElementsAre(0.3, 0.3, 0.25));
    const std::string warning =
        "**Warning** Invalid combination of max gain, min gain, and gain step in Tx FFE.\n";
    EXPECT_THAT(msg.data(), StrEq(warning + warning));
    // A buffer without room for a second warning keeps the first.
    std::vector<char> small(warning.size() + 1, '\0');
    AdvancedTxFFE(ffe.get(), max_gain, min_gain, steps, small.data(),
                  static_cast<uint32_t>(small.size()));
    EXPECT_THAT(small.data(), StrEq(warning));
}

// Spacings or tap counts below 1, or a history beyond a 32-bit count: the
// record has no arrays and passes samples through.
TEST(TxFFE, SizesItCannotFilterWithGiveAPassThrough) {
    const double taps[] = {0.5, 0.5};
    for (auto [spacing, count] :
         {std::pair{0, 2}, {-4, 2}, {4, 0}, {4, -1}, {65536, 65536}, {INT32_MIN, INT32_MIN}}) {
        SCOPED_TRACE("S " + std::to_string(spacing) + ", N " + std::to_string(count));
        const OwnedFFE ffe(SetupTxFFE(spacing, count, 5, taps));
        EXPECT_EQ(ffe->tap_count, 0);
        EXPECT_EQ(ffe->history_length, 0);
        EXPECT_EQ(ffe->taps, nullptr);
        EXPECT_EQ(ffe->tag, 5);
        std::vector<double> wave{1, -2, 3};
        EXPECT_THAT(run(ffe.get(), wave, 1), ElementsAre(1, -2, 3));
        ApplyTxFFE(wave.data(), 3, ffe.get(), 0, wave.data());
        EXPECT_THAT(wave, ElementsAre(1, -2, 3));
        char msg[8] = "";
        AdvancedTxFFE(ffe.get(), taps, taps, taps, msg, sizeof msg);
        EXPECT_THAT(msg, StrEq(""));
    }
}

}  // namespace
