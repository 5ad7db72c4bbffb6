// The lookup table: interpolation and flat extension, copies of the
// caller's points, and the three assertion reports in the order the checks
// run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/contract_report.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Pointwise;

using OwnedTable = Owned<Table, DeleteTable>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

OwnedTable make_table(const std::vector<double> &x, const std::vector<double> &y) {
    return OwnedTable(SetTable(static_cast<int32_t>(x.size()), x.data(), y.data()));
}

std::vector<double> look_up(const Table &table, const std::vector<double> &input) {
    std::vector<double> output(input.size(), -99.0);
    ApplyTable(input.data(), static_cast<int32_t>(input.size()), table, output.data());
    return output;
}

TEST(Table, InterpolatesBetweenPointsAndIsFlatBeyondThem) {
    const OwnedTable table = make_table({0, 1, 2}, {0, 10, 20});
    EXPECT_THAT(look_up(table.get(), {-5, 0, 0.5, 1, 1.5, 2, 7}),
                ElementsAre(0, 0, 5, 10, 15, 20, 20));
    const OwnedTable identity = make_table({0, 1}, {0, 1});
    EXPECT_THAT(look_up(identity.get(), {-1e300, -0.25, 0.0, 0.3, 0.75, 1.0, 1.5, 1e300}),
                Pointwise(DoubleNear(1e-16), {0.0, 0.0, 0.0, 0.3, 0.75, 1.0, 1.0, 1.0}));
    const std::vector<double> nan = look_up(identity.get(), {kNaN});
    EXPECT_TRUE(std::isnan(nan[0]));
}

// An uneven curve of many points against the straight line through the
// two points around each input, found by a search of its own.
TEST(Table, ManyPointsFollowTheirSegments) {
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 1001; ++i) {
        x.push_back(i * std::fabs(i - 400.5) / 100.0 - 3000.0);
        y.push_back(std::sin(i / 37.0) * 5.0);
    }
    std::sort(x.begin(), x.end());
    x.erase(std::unique(x.begin(), x.end()), x.end());
    y.resize(x.size());
    const OwnedTable table = make_table(x, y);
    std::vector<double> input;
    std::vector<double> expected;
    for (double v = -3100.0; v < x.back() + 100.0; v += 7.31) {
        input.push_back(v);
        const auto above = std::lower_bound(x.begin(), x.end(), v);
        if (above == x.begin()) {
            expected.push_back(y.front());
        } else if (above == x.end()) {
            expected.push_back(y.back());
        } else {
            const std::size_t hi = static_cast<std::size_t>(above - x.begin());
            const double share = (v - x[hi - 1]) / (x[hi] - x[hi - 1]);
            expected.push_back(y[hi - 1] + share * (y[hi] - y[hi - 1]));
        }
    }
    EXPECT_THAT(look_up(table.get(), input), Pointwise(DoubleNear(1e-12), expected));
    // Every point itself.
    EXPECT_THAT(look_up(table.get(), x), Pointwise(DoubleNear(1e-14), y));
}

TEST(Table, KeepsItsOwnCopiesOfThePoints) {
    std::vector<double> x{0, 1, 2};
    std::vector<double> y{0, 10, 20};
    const OwnedTable table(SetTable(3, x.data(), y.data()));
    x.assign({5, 6, 7});
    y.assign({-1, -1, -1});
    EXPECT_THAT(look_up(table.get(), {0.5, 1.5}), ElementsAre(5, 15));
}

TEST(Table, EmptyRecordPassesInputThrough) {
    const Table empty{0, nullptr, nullptr};
    EXPECT_THAT(look_up(empty, {1.5, -2.0}), ElementsAre(1.5, -2.0));
    DeleteTable(empty);
}

TEST(Table, CountBoundariesThatPass) {
    const OwnedTable two = make_table({0, 1}, {3, 4});
    EXPECT_EQ(two->npts, 2);
    std::vector<double> x(16777214);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<double>(i);
    }
    const OwnedTable largest = make_table(x, x);
    EXPECT_EQ(largest->npts, 16777214);
    EXPECT_THAT(look_up(largest.get(), {-1.0, 12345.25, 2e7}),
                ElementsAre(0.0, 12345.25, 16777213.0));
}

TEST(TableDeathTest, CountOutsideTwoToBelow0xffffffAbortsWithItsReport) {
    const std::vector<double> points(4, 0.0);
    for (int32_t npts : {1, 0, -1, 16777215, INT32_MIN}) {
        EXPECT_DEATH(SetTable(npts, points.data(), points.data()),
                     report_of(ami::sites::kTablePointCount))
            << npts;
    }
}

TEST(TableDeathTest, AxisThatDoesNotRiseAbortsWithItsReport) {
    const std::vector<double> y(3, 0.0);
    for (const std::vector<double> &x :
         {std::vector<double>{0, 1, 1}, std::vector<double>{0, 2, 1},
          std::vector<double>{0, 1, kNaN}, std::vector<double>{kNaN, 1, 2}}) {
        EXPECT_DEATH(SetTable(3, x.data(), y.data()), report_of(ami::sites::kTableIncreasingAxis))
            << ::testing::PrintToString(x);
    }
}

// Points 0 and 1 rise, point 2 repeats point 1, and point 3 lies on a page
// that cannot be read: the check stops at point 2, before reading further.
TEST(TableDeathTest, AxisIsCheckedPointByPointInOrder) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<char *>(pages) + page, page, PROT_NONE), 0);
    double *x = static_cast<double *>(pages) + page / sizeof(double) - 3;
    x[0] = 0.0;
    x[1] = 1.0;
    x[2] = 1.0;
    const std::vector<double> y(10, 0.0);
    EXPECT_DEATH(SetTable(10, x, y.data()), report_of(ami::sites::kTableIncreasingAxis));
    x[2] = 2.0;  // now the check reads on into the unreadable page
    EXPECT_DEATH(SetTable(10, x, y.data()), "");
    munmap(pages, 2 * page);
}

// A table made by hand with one point: a NaN input passes both flat
// extensions and the bisection ends with hi == lo.
TEST(TableDeathTest, BisectionWithoutASegmentAbortsWithItsReport) {
    double x = 0.0;
    double y = 1.0;
    const Table one_point{1, &x, &y};
    EXPECT_THAT(look_up(one_point, {-1.0, 0.0, 5.0}), ElementsAre(1.0, 1.0, 1.0));
    EXPECT_DEATH(look_up(one_point, {kNaN}), report_of(ami::sites::kTableBisection));
}

}  // namespace
