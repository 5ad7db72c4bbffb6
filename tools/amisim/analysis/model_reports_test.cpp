// The recorder of what models report from AMI_GetWave: which series and
// texts a string gives, the bounded points of a long run, and the summary.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/analysis/model_reports.h"

namespace {

using amisim::ModelReportLimits;
using amisim::ModelReports;
using amisim::ReportSeries;

TEST(ModelReports, ReadsEachNumberIntoTheSeriesOfItsNameAndKeepsTheRestAsText) {
    struct Case {
        const char *name;
        const char *text;
        std::vector<std::pair<std::string, double>> values;  // in the order first seen
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"a value and a list of them",
         "(Rx (CDR_Phase 0.47)(DFE_Taps_Now 0.12 -0.03))",
         {{"CDR_Phase", 0.47}, {"DFE_Taps_Now[0]", 0.12}, {"DFE_Taps_Now[1]", -0.03}},
         {}},
        {"lists within lists",
         "(Rx (CTLE (Gain 3.5) (Pole (Hz 2e10))))",
         {{"CTLE.Gain", 3.5}, {"CTLE.Pole.Hz", 2e10}},
         {}},
        {"the root's own values", "(Rx 4 5)", {{"Rx[0]", 4}, {"Rx[1]", 5}}, {}},
        {"signs and exponents", "(Rx (A +1e-3) (B -2.5E2))", {{"A", 1e-3}, {"B", -250}}, {}},
        {"a name given twice", "(Rx (A 1) (A 2))", {{"A", 2}}, {}},
        {"a word among numbers", "(Rx (Mode auto) (A 1))", {{"A", 1}}, {"Mode auto"}},
        {"a number that is not finite", "(Rx (A nan) (B inf))", {}, {"A nan", "B inf"}},
        {"no lists", "adapting", {}, {"adapting"}},
        {"a list left open", "(Rx (A 1)", {}, {"(Rx (A 1)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModelReports reports;
        reports.add(7, 1e-9, c.text);
        const std::vector<ReportSeries> series = reports.series();
        ASSERT_EQ(series.size(), c.values.size());
        for (std::size_t i = 0; i < series.size(); ++i) {
            EXPECT_EQ(series[i].name, c.values[i].first);
            ASSERT_EQ(series[i].points.size(), 1u);
            EXPECT_EQ(series[i].points[0].value, c.values[i].second);
            EXPECT_EQ(series[i].points[0].call, 7u);
            EXPECT_EQ(series[i].points[0].time, 1e-9);
        }
        ASSERT_EQ(reports.texts().size(), c.texts.size());
        for (std::size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(reports.texts()[i].text, c.texts[i]);
            EXPECT_EQ(reports.texts()[i].count, 1u);
        }
    }
}

TEST(ModelReports, CountsCallsWithoutAStringAndWhatTheLimitsLeaveOut) {
    ModelReportLimits limits;
    limits.series = 2;
    limits.texts = 2;
    limits.text_length = 8;
    ModelReports reports(limits);
    reports.add(0, 0.0, nullptr);
    reports.add(1, 1.0, " \n");
    reports.add(2, 2.0, "(Rx (A 1) (B 2) (C 3))");
    reports.add(3, 3.0, "not lists, and long");
    reports.add(4, 4.0, "not lists, and long too");  // the same once cut
    reports.add(5, 5.0, "other");
    reports.add(6, 6.0, "a third");
    const amisim::ModelReportCounts &counts = reports.counts();
    EXPECT_EQ(counts.calls, 7u);
    EXPECT_EQ(counts.without_text, 2u);
    EXPECT_EQ(counts.read, 1u);
    EXPECT_EQ(counts.unread, 4u);
    EXPECT_EQ(counts.values_left_out, 1u);
    EXPECT_EQ(counts.texts_left_out, 1u);
    ASSERT_EQ(reports.texts().size(), 2u);
    EXPECT_EQ(reports.texts()[0].text, "not list...");
    EXPECT_EQ(reports.texts()[0].count, 2u);
    EXPECT_EQ(reports.texts()[0].first_call, 3u);
    EXPECT_EQ(reports.texts()[0].last_call, 4u);
    EXPECT_EQ(reports.series().size(), 2u);
}

// However long the run, a series holds at most `points` reports evenly
// spaced from its first, and its last; the extremes cover every report.
TEST(ModelReports, KeepsBoundedEvenlySpacedPointsAndTheLast) {
    ModelReportLimits limits;
    limits.points = 16;
    for (int calls : {5, 16, 10001}) {
        SCOPED_TRACE(std::to_string(calls) + " calls");
        ModelReports reports(limits);
        for (int k = 0; k < calls; ++k) {
            const std::string text = "(Rx (V " + std::to_string(k == 77 ? -1 : k) + "))";
            reports.add(static_cast<std::uint64_t>(k), k * 1e-9, text.c_str());
        }
        const ReportSeries s = reports.series().at(0);
        const auto last = static_cast<std::uint64_t>(calls - 1);
        EXPECT_EQ(s.reports, last + 1);
        EXPECT_LE(s.points.size(), 17u);
        EXPECT_GE(s.points.size(), std::min(calls, 8));
        EXPECT_EQ(s.points.front().call, 0u);
        EXPECT_EQ(s.points.back().call, last);
        for (std::size_t i = 1; i + 1 < s.points.size(); ++i) {
            EXPECT_EQ(s.points[i].call - s.points[i - 1].call, s.stride) << i;
        }
        EXPECT_EQ(s.summary.lowest, calls > 77 ? -1.0 : 0.0);
        EXPECT_EQ(s.summary.highest, calls - 1);
    }
}

TEST(ModelReports, SummarisesFirstLastAndSettledValue) {
    struct Case {
        const char *name;
        double (*value)(int call);
        double settled;
        double tolerance;  // on the settled value
        int calls;
        bool has_settled;
    };
    const Case cases[] = {
        {"constant", [](int) { return -0.04; }, -0.04, 1e-15, 200, true},
        {"converging with a dither",
         [](int k) { return 0.3 + 0.2 * std::exp(-k / 50.0) + (k % 2 == 0 ? 1e-3 : -1e-3); }, 0.3,
         1e-4, 1000, true},
        {"wandering about its mean", [](int k) { return 0.01 * std::sin(0.7 * k); }, 0.0, 1e-3,
         1000, true},
        {"still rising", [](int k) { return 0.01 * k; }, 9.5, 0.01, 1000, false},
        {"a step in the last tenth", [](int k) { return k < 960 ? 0.0 : 1.0; }, 0.4, 1e-12, 1000,
         false},
        {"a single report", [](int) { return 2.0; }, 2.0, 0.0, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModelReports reports;
        for (int k = 0; k < c.calls; ++k) {
            const std::string text = "(Rx (V " + std::to_string(c.value(k)) + "))";
            reports.add(static_cast<std::uint64_t>(k), k * 1e-6, text.c_str());
        }
        const amisim::SeriesSummary s = reports.series().at(0).summary;
        EXPECT_DOUBLE_EQ(s.first.value, std::stod(std::to_string(c.value(0))));
        EXPECT_EQ(s.last.call, static_cast<std::uint64_t>(c.calls - 1));
        EXPECT_NEAR(s.settled, c.settled, c.tolerance);
        EXPECT_EQ(s.has_settled, c.has_settled);
    }
}

}  // namespace
