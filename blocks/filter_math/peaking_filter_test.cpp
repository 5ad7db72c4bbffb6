// The peaking filter: design against closed forms, and the recursion run
// over blocks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/filter_math/peaking_filter_literal.h"
#include "tests/support/contract_report.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleNear;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Pointwise;

using OwnedFilter = Owned<PeakingFilter, DeletePeakingFilter>;

// A filter designed from real poles (rad/s) and real residues, one
// configuration per residue list.
PeakingFilter design(double sample_interval, const std::vector<double> &poles,
                     const std::vector<std::vector<double>> &residues,
                     const std::vector<double> &gains) {
    std::vector<std::vector<Complex>> pole_lists;
    std::vector<std::vector<Complex>> residue_lists;
    std::vector<Complex *> pole_rows;
    std::vector<Complex *> residue_rows;
    for (const auto &list : residues) {
        pole_lists.emplace_back();
        residue_lists.emplace_back();
        for (std::size_t k = 0; k < poles.size(); ++k) {
            pole_lists.back().push_back(cmplx(poles[k], 0));
            residue_lists.back().push_back(cmplx(list[k], 0));
        }
    }
    for (std::size_t i = 0; i < pole_lists.size(); ++i) {
        pole_rows.push_back(pole_lists[i].data());
        residue_rows.push_back(residue_lists[i].data());
    }
    return SetupPeakingFilter(sample_interval, static_cast<int32_t>(poles.size()),
                              static_cast<int32_t>(gains.size()), pole_rows.data(),
                              residue_rows.data(), gains.data(), nullptr, 0);
}

std::vector<double> numer(const OwnedFilter &f, int i) {
    return {f->numer[i], f->numer[i] + f->coef_count};
}

std::vector<double> denom(const OwnedFilter &f, int i) {
    return {f->denom[i], f->denom[i] + f->coef_count - 1};
}

std::vector<double> run(const OwnedFilter &f, const std::vector<double> &input, int32_t index,
                        int32_t reset) {
    std::vector<double> output(input.size(), -99.0);
    ApplyPeakingFilter(input.data(), static_cast<int32_t>(input.size()), f.get(), index, reset,
                       output.data());
    return output;
}

bool at_rest(const OwnedFilter &f) {
    const std::vector<double> zeros(static_cast<std::size_t>(f->coef_count), 0.0);
    return std::vector<double>(f->peak_in, f->peak_in + f->coef_count) == zeros &&
           std::vector<double>(f->peak_out, f->peak_out + f->coef_count) == zeros;
}

// Closed forms evaluated in long double, each rounded once to double.
std::vector<double> rounded(std::initializer_list<long double> exact) {
    std::vector<double> values;
    for (long double x : exact) {
        values.push_back(static_cast<double>(x));
    }
    return values;
}

constexpr double kCoefficientTolerance = 4e-16;

long double e(long double x) {
    return std::exp(x);
}

TEST(PeakingFilterDesign, OnePoleMatchesItsClosedForm) {
    const OwnedFilter f(design(1e-9, {-1e9}, {{1.0}}, {1.0}));
    ASSERT_EQ(f->filter_count, 1);
    ASSERT_EQ(f->coef_count, 2);
    EXPECT_THAT(numer(f, 0), Pointwise(DoubleNear(kCoefficientTolerance),
                                       rounded({1 - e(-0.5L), e(-0.5L) - e(-1)})));
    EXPECT_THAT(denom(f, 0), Pointwise(DoubleNear(kCoefficientTolerance), rounded({e(-1)})));
    EXPECT_EQ(f->configs[0].pole_count, 1);
    EXPECT_TRUE(at_rest(f));
}

TEST(PeakingFilterDesign, TwoPolesMatchTheirClosedForm) {
    const OwnedFilter f(design(1e-9, {-1e9, -2e9}, {{1, 1}, {1, 0}}, {1.0, 1.0}));
    EXPECT_THAT(numer(f, 0),
                Pointwise(DoubleNear(kCoefficientTolerance),
                          rounded({2 - e(-0.5L) - e(-1), e(-0.5L) - e(-1) - e(-2) + e(-2.5L),
                                   2 * e(-3) - e(-2) - e(-2.5L)})));
    EXPECT_THAT(denom(f, 0),
                Pointwise(DoubleNear(kCoefficientTolerance), rounded({e(-1) + e(-2), -e(-3)})));
    // A zero residue ends the list: only the first pole counts.
    EXPECT_THAT(numer(f, 1), Pointwise(DoubleNear(kCoefficientTolerance),
                                       rounded({1 - e(-0.5L), e(-0.5L) - e(-1), 0})));
    EXPECT_THAT(denom(f, 1), Pointwise(DoubleNear(kCoefficientTolerance), rounded({e(-1), 0})));
}

TEST(PeakingFilterDesign, PolesAfterAZeroResidueAreIgnored) {
    const OwnedFilter with_gap(design(1e-9, {-1e9, -2e9, -3e9}, {{1, 0, 1}}, {1.0}));
    const OwnedFilter single(design(1e-9, {-1e9}, {{1}}, {1.0}));
    EXPECT_THAT(numer(with_gap, 0), ElementsAre(numer(single, 0)[0], numer(single, 0)[1], 0, 0));
    EXPECT_THAT(denom(with_gap, 0), ElementsAre(denom(single, 0)[0], 0, 0));
}

TEST(PeakingFilterDesign, GainScalesResiduesAndNumeratorOnly) {
    const OwnedFilter f(design(1e-9, {-1e9, -2e9}, {{1, -0.5}, {1, -0.5}}, {1.0, 2.0}));
    std::vector<double> doubled = numer(f, 0);
    for (double &b : doubled) {
        b *= 2;
    }
    EXPECT_EQ(numer(f, 1), doubled);
    EXPECT_EQ(denom(f, 1), denom(f, 0));
    EXPECT_EQ(f->configs[1].residues[1].re, -1.0);
    EXPECT_EQ(f->configs[1].poles[1].re, -2e9);
    EXPECT_EQ(f->configs[1].index, 1);
}

TEST(PeakingFilterDesign, ConfigurationWithoutAUsedPoleOutputsZeros) {
    const OwnedFilter zero_gain(design(1e-9, {-1e9, -2e9}, {{1, 1}}, {0.0}));
    EXPECT_THAT(numer(zero_gain, 0), Each(0.0));
    EXPECT_THAT(denom(zero_gain, 0), Each(0.0));
    EXPECT_THAT(run(zero_gain, {1, 2, 3}, 0, 0), ElementsAre(0, 0, 0));

    const OwnedFilter no_poles(design(1e-9, {}, {{}}, {1.0}));
    ASSERT_EQ(no_poles->coef_count, 1);
    EXPECT_THAT(run(no_poles, {1, 2, 3}, 0, 0), ElementsAre(0, 0, 0));
}

TEST(PeakingFilterRun, OnePoleImpulseResponseAndStepSettling) {
    const OwnedFilter f(design(1e-9, {-1e9}, {{1.0}}, {1.0}));
    const double b0 = numer(f, 0)[0];
    const double b1 = numer(f, 0)[1];
    const double a1 = denom(f, 0)[0];
    const double y1 = b1 + a1 * b0;
    EXPECT_THAT(run(f, {1, 0, 0, 0}, 0, 1), ElementsAre(b0, y1, a1 * y1, a1 * (a1 * y1)));
    const std::vector<double> step = run(f, std::vector<double>(200, 1.0), 0, 0);
    EXPECT_NEAR(step.back(), 1.0, 1e-14);
}

// Each sample sums its terms in the stated order, from the oldest to the
// newest, for every pole count: the kernels specialised on 1 to 12 poles
// and the general one (no pole, more than 12).
TEST(PeakingFilterRun, SumsInTheOrderOfTheLiteralRecursion) {
    std::vector<double> input(150);
    for (std::size_t t = 0; t < input.size(); ++t) {
        input[t] = std::sin(0.37 * static_cast<double>(t)) + (t % 7 == 0 ? 1.0 : 0.0);
    }
    for (int32_t poles = 0; poles <= 14; ++poles) {
        SCOPED_TRACE(std::to_string(poles) + " poles");
        std::vector<double> pole_list;
        std::vector<double> residues;
        for (int32_t k = 0; k < poles; ++k) {
            pole_list.push_back(-7e8 * (k + 1));
            residues.push_back(k % 2 == 0 ? 0.5 : -0.3);
        }
        const OwnedFilter library(design(1e-10, pole_list, {residues}, {1.25}));
        const OwnedFilter literal(design(1e-10, pole_list, {residues}, {1.25}));
        std::vector<double> expected(input.size());
        literal_apply(input.data(), 100, literal.get(), 0, 0, expected.data());
        literal_apply(input.data() + 100, 50, literal.get(), 0, 0, expected.data() + 100);
        std::vector<double> output(input.size());
        ApplyPeakingFilter(input.data(), 100, library.get(), 0, 0, output.data());
        ApplyPeakingFilter(input.data() + 100, 50, library.get(), 0, 0, output.data() + 100);
        EXPECT_EQ(output, expected);
    }
}

// Blocks, in-place runs and resets in general are the block contract's; an
// empty block with reset is the peaking filter's own way to clear.
TEST(PeakingFilterRun, EmptyBlockWithResetOnlyClears) {
    const OwnedFilter f(design(1e-9, {-1e9, -5e8}, {{1, -0.4}}, {1.0}));
    (void)run(f, {1, 0.5, -1}, 0, 0);
    EXPECT_FALSE(at_rest(f));
    EXPECT_TRUE(run(f, {}, 0, 1).empty());
    EXPECT_TRUE(at_rest(f));
}

TEST(PeakingFilterRun, IndexOutsideTheConfigurationsSelectsTheFirst) {
    const OwnedFilter f(
        design(1e-9, {-1e9, -5e8}, {{1, -0.4}, {0.3, 0.2}, {2, 1}}, {1.0, 1.0, 1.0}));
    const std::vector<double> input{1, 0, 0.5, -1, 2};
    const std::vector<double> first = run(f, input, 0, 1);
    EXPECT_NE(run(f, input, 2, 1), first);
    for (int32_t index : {3, 100, -1, INT32_MIN}) {
        EXPECT_EQ(run(f, input, index, 1), first) << "index " << index;
    }
}

TEST(PeakingFilterRun, EmptyRecordCopiesInputWithoutTouchingHistories) {
    PeakingFilter empty{};
    const std::vector<double> input{1, 2, 3};
    std::vector<double> output(3);
    ApplyPeakingFilter(input.data(), 3, empty, 7, 1, output.data());
    EXPECT_EQ(output, input);
    DeletePeakingFilter(empty);
}

TEST(PeakingFilterRunDeathTest, MissingHistoriesAbortWithTheAssertionReports) {
    const OwnedFilter f(design(1e-9, {-1e9}, {{1.0}}, {1.0}));
    double sample = 1.0;
    PeakingFilter no_in = f.get();
    no_in.peak_in = nullptr;
    PeakingFilter no_out = f.get();
    no_out.peak_out = nullptr;
    PeakingFilter neither = no_in;
    neither.peak_out = nullptr;
    const std::string in_report = report_of(ami::sites::kPeakingInputHistory);
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 1, no_in, 0, 0, &sample), in_report);
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 1, neither, 0, 0, &sample), in_report);
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 0, no_out, 0, 0, &sample),
                 report_of(ami::sites::kPeakingOutputHistory));
}

}  // namespace
