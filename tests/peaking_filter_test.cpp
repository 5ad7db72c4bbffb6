// The peaking filter: design against closed forms, and the recursion run
// over blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "blocks/Kestrom_AMI_Model.h"

namespace {

// A filter designed from real poles (rad/s) and real residues, one
// configuration per residue list.
class Design {
  public:
    Design(double sample_interval, std::vector<double> poles,
           std::vector<std::vector<double>> residues, std::vector<double> gains) {
        const auto count = static_cast<int32_t>(poles.size());
        for (const auto &list : residues) {
            std::vector<Complex> p;
            std::vector<Complex> r;
            for (int32_t k = 0; k < count; ++k) {
                p.push_back(cmplx(poles[k], 0));
                r.push_back(cmplx(list[k], 0));
            }
            poles_.push_back(p);
            residues_.push_back(r);
        }
        std::vector<Complex *> pole_rows;
        std::vector<Complex *> residue_rows;
        for (std::size_t i = 0; i < poles_.size(); ++i) {
            pole_rows.push_back(poles_[i].data());
            residue_rows.push_back(residues_[i].data());
        }
        filter_ =
            SetupPeakingFilter(sample_interval, count, static_cast<int32_t>(gains.size()),
                               pole_rows.data(), residue_rows.data(), gains.data(), nullptr, 0);
    }
    ~Design() { DeletePeakingFilter(filter_); }
    Design(const Design &) = delete;
    Design &operator=(const Design &) = delete;

    const PeakingFilter &filter() const { return filter_; }
    std::vector<double> numer(int i) const {
        return {filter_.numer[i], filter_.numer[i] + filter_.coef_count};
    }
    std::vector<double> denom(int i) const {
        return {filter_.denom[i], filter_.denom[i] + filter_.coef_count - 1};
    }
    std::vector<double> run(const std::vector<double> &input, int32_t index, int32_t reset) const {
        std::vector<double> output(input.size(), -99.0);
        ApplyPeakingFilter(input.data(), static_cast<int32_t>(input.size()), filter_, index, reset,
                           output.data());
        return output;
    }
    bool at_rest() const {
        for (int32_t j = 0; j < filter_.coef_count; ++j) {
            if (filter_.peak_in[j] != 0.0 || filter_.peak_out[j] != 0.0) {
                return false;
            }
        }
        return true;
    }

  private:
    std::vector<std::vector<Complex>> poles_;
    std::vector<std::vector<Complex>> residues_;
    PeakingFilter filter_{};
};

void expect_close(const std::vector<double> &actual, const std::vector<long double> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t j = 0; j < actual.size(); ++j) {
        EXPECT_NEAR(actual[j], static_cast<double>(expected[j]), 4e-16) << "coefficient " << j;
    }
}

long double e(long double x) {
    return std::exp(x);
}

TEST(PeakingFilterDesign, OnePoleMatchesItsClosedForm) {
    Design design(1e-9, {-1e9}, {{1.0}}, {1.0});
    ASSERT_EQ(design.filter().filter_count, 1);
    ASSERT_EQ(design.filter().coef_count, 2);
    expect_close(design.numer(0), {1 - e(-0.5L), e(-0.5L) - e(-1)});
    expect_close(design.denom(0), {e(-1)});
    EXPECT_EQ(design.filter().configs[0].pole_count, 1);
    EXPECT_TRUE(design.at_rest());
}

TEST(PeakingFilterDesign, TwoPolesMatchTheirClosedForm) {
    Design design(1e-9, {-1e9, -2e9}, {{1, 1}, {1, 0}}, {1.0, 1.0});
    expect_close(design.numer(0), {2 - e(-0.5L) - e(-1), e(-0.5L) - e(-1) - e(-2) + e(-2.5L),
                                   2 * e(-3) - e(-2) - e(-2.5L)});
    expect_close(design.denom(0), {e(-1) + e(-2), -e(-3)});
    // A zero residue ends the list: only the first pole counts.
    expect_close(design.numer(1), {1 - e(-0.5L), e(-0.5L) - e(-1), 0});
    expect_close(design.denom(1), {e(-1), 0});
}

TEST(PeakingFilterDesign, PolesAfterAZeroResidueAreIgnored) {
    Design with_gap(1e-9, {-1e9, -2e9, -3e9}, {{1, 0, 1}}, {1.0});
    Design single(1e-9, {-1e9}, {{1}}, {1.0});
    EXPECT_EQ(with_gap.numer(0),
              (std::vector<double>{single.numer(0)[0], single.numer(0)[1], 0, 0}));
    EXPECT_EQ(with_gap.denom(0), (std::vector<double>{single.denom(0)[0], 0, 0}));
}

TEST(PeakingFilterDesign, GainScalesResiduesAndNumeratorOnly) {
    Design design(1e-9, {-1e9, -2e9}, {{1, -0.5}, {1, -0.5}}, {1.0, 2.0});
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(design.numer(1)[j], 2 * design.numer(0)[j]);
    }
    EXPECT_EQ(design.denom(1), design.denom(0));
    EXPECT_EQ(design.filter().configs[1].residues[1].re, -1.0);
    EXPECT_EQ(design.filter().configs[1].poles[1].re, -2e9);
    EXPECT_EQ(design.filter().configs[1].index, 1);
}

TEST(PeakingFilterDesign, ConfigurationWithoutAUsedPoleOutputsZeros) {
    Design zero_gain(1e-9, {-1e9, -2e9}, {{1, 1}}, {0.0});
    EXPECT_EQ(zero_gain.numer(0), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(zero_gain.denom(0), (std::vector<double>{0, 0}));
    EXPECT_EQ(zero_gain.run({1, 2, 3}, 0, 0), (std::vector<double>{0, 0, 0}));

    Design no_poles(1e-9, {}, {{}}, {1.0});
    ASSERT_EQ(no_poles.filter().coef_count, 1);
    EXPECT_EQ(no_poles.run({1, 2, 3}, 0, 0), (std::vector<double>{0, 0, 0}));
}

TEST(PeakingFilterRun, OnePoleImpulseResponseAndStepSettling) {
    Design design(1e-9, {-1e9}, {{1.0}}, {1.0});
    const double b0 = design.numer(0)[0];
    const double b1 = design.numer(0)[1];
    const double a1 = design.denom(0)[0];
    const double y1 = b1 + a1 * b0;
    EXPECT_EQ(design.run({1, 0, 0, 0}, 0, 1),
              (std::vector<double>{b0, y1, a1 * y1, a1 * (a1 * y1)}));
    const std::vector<double> step = design.run(std::vector<double>(200, 1.0), 0, 0);
    EXPECT_NEAR(step.back(), 1.0, 1e-14);
}

TEST(PeakingFilterRun, BlocksContinueTheStreamAndResetRunsFromRest) {
    Design design(1e-9, {-1e9, -5e8, -3e9}, {{1, -0.4, 0.7}, {0.5, 0.5, 0.5}}, {1.0, 1.5});
    std::vector<double> input(50);
    for (std::size_t t = 0; t < input.size(); ++t) {
        input[t] = std::sin(0.7 * static_cast<double>(t)) + (t % 5 == 0 ? 1.0 : 0.0);
    }
    const std::vector<double> whole = design.run(input, 1, 1);
    std::vector<double> pieces;
    std::size_t start = 0;
    for (std::size_t size : {1, 2, 0, 3, 44}) {
        const std::vector<double> part(input.begin() + start, input.begin() + start + size);
        const std::vector<double> out = design.run(part, 1, 0);
        pieces.insert(pieces.end(), out.begin(), out.end());
        start += size;
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_FALSE(design.at_rest());

    // With reset, a block gives what it gives from rest and leaves the state
    // at rest; an empty block with reset only clears.
    const std::vector<double> head(input.begin(), input.begin() + 10);
    const std::vector<double> from_rest(whole.begin(), whole.begin() + 10);
    EXPECT_EQ(design.run(head, 1, 1), from_rest);
    EXPECT_TRUE(design.at_rest());
    (void)design.run(head, 1, 0);
    EXPECT_EQ(design.run({}, 1, 1), std::vector<double>{});
    EXPECT_TRUE(design.at_rest());
    EXPECT_EQ(design.run(head, 1, 0), from_rest);
}

TEST(PeakingFilterRun, InPlaceEqualsSeparateOutput) {
    Design design(1e-9, {-1e9, -5e8}, {{1, -0.4}}, {1.0});
    std::vector<double> samples{1, -1, 0.5, 2, 0, 0, 3, -2};
    const std::vector<double> separate = design.run(samples, 0, 1);
    ApplyPeakingFilter(samples.data(), 8, design.filter(), 0, 1, samples.data());
    EXPECT_EQ(samples, separate);
}

TEST(PeakingFilterRun, IndexOutsideTheConfigurationsSelectsTheFirst) {
    Design design(1e-9, {-1e9, -5e8}, {{1, -0.4}, {0.3, 0.2}, {2, 1}}, {1.0, 1.0, 1.0});
    const std::vector<double> input{1, 0, 0.5, -1, 2};
    const std::vector<double> first = design.run(input, 0, 1);
    EXPECT_NE(design.run(input, 2, 1), first);
    for (int32_t index : {3, 100, -1, INT32_MIN}) {
        EXPECT_EQ(design.run(input, index, 1), first) << "index " << index;
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

using PeakingFilterRunDeathTest = ::testing::Test;

TEST(PeakingFilterRunDeathTest, MissingHistoriesAbortWithTheAssertionReports) {
    Design design(1e-9, {-1e9}, {{1.0}}, {1.0});
    double sample = 1.0;
    PeakingFilter no_in = design.filter();
    no_in.peak_in = nullptr;
    PeakingFilter no_out = design.filter();
    no_out.peak_out = nullptr;
    PeakingFilter neither = no_in;
    neither.peak_out = nullptr;
    const char *in_report =
        "Kestrom_AMI_Model:858: ApplyPeakingFilter: Assertion `filt.peak_in' failed";
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 1, no_in, 0, 0, &sample), in_report);
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 1, neither, 0, 0, &sample), in_report);
    EXPECT_DEATH(ApplyPeakingFilter(&sample, 0, no_out, 0, 0, &sample),
                 "Kestrom_AMI_Model:859: ApplyPeakingFilter: Assertion `filt.peak_out' failed");
}

}  // namespace
