// The written IBIS data, read back as a simulator would: the I-V tables give
// the driver impedance of each corner, and the ramp agrees with the swing the
// tables drive into the test load. Also the IBIS number formats.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/ibis/buffer_description.h"
#include "tools/ibis/ibis_numbers.h"
#include "tools/ibis/ibis_writer.h"

namespace {

using ibis::BufferDescription;
using ibis::Corners;
using ibis::format_number;
using ibis::parse_number;
using ::testing::DoubleNear;
using ::testing::Optional;

// The rows (fields) of a keyword's section up to the next keyword.
std::vector<std::vector<std::string>> rows_of(const std::string &text, const std::string &keyword) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind('[', 0) == 0) {
            inside = line.rfind(keyword, 0) == 0;
            continue;
        }
        if (inside && !line.empty() && line[0] != '|') {
            std::istringstream fields(line);
            std::vector<std::string> row;
            for (std::string f; fields >> f;) {
                row.push_back(f);
            }
            rows.push_back(row);
        }
    }
    return rows;
}

double value(const std::string &field) {
    const std::optional<double> v = parse_number(field);
    EXPECT_TRUE(v.has_value()) << field;
    return v.value_or(NAN);
}

// Current of a table column at voltage v, linear between rows.
double interpolate(const std::vector<std::vector<std::string>> &table, std::size_t column,
                   double v) {
    for (std::size_t k = 1; k < table.size(); ++k) {
        const double v0 = value(table[k - 1][0]);
        const double v1 = value(table[k][0]);
        if (v <= v1) {
            const double i0 = value(table[k - 1][column]);
            const double i1 = value(table[k][column]);
            return i0 + (i1 - i0) * (v - v0) / (v1 - v0);
        }
    }
    return NAN;
}

double corner(const Corners &c, std::size_t column) {
    return column == 1 ? c.typ : column == 2 ? c.min : c.max;
}

struct Description {
    const char *name;
    BufferDescription buffer;
};

void PrintTo(const Description &d, std::ostream *out) {
    *out << d.name;
}

BufferDescription strong_low_swing() {
    BufferDescription b;
    b.supply = {0.8, 0.75, 0.85};
    b.impedance = {40.0, 46.0, 35.0};
    b.transition_time = {12e-12, 15e-12, 9e-12};
    b.r_load = 100.0;
    b.table_intervals = 24;
    return b;
}

class WrittenBuffer : public ::testing::TestWithParam<Description> {
  protected:
    std::string text() const {
        ibis::KitNames names;
        names.version = "1.2.3";
        return ibis::write_ibis(names, GetParam().buffer);
    }
};

TEST_P(WrittenBuffer, TablesGiveTheDriverImpedanceOverTheWholeSweep) {
    const BufferDescription &b = GetParam().buffer;
    const std::string written = text();
    const double vmax = std::max({b.supply.typ, b.supply.min, b.supply.max});
    for (const char *keyword : {"[Pulldown]", "[Pullup]"}) {
        const auto table = rows_of(written, keyword);
        ASSERT_EQ(table.size(), static_cast<std::size_t>(b.table_intervals) + 1) << keyword;
        EXPECT_EQ(value(table.front()[0]), -vmax) << keyword;
        EXPECT_EQ(value(table.back()[0]), 2.0 * vmax) << keyword;
        const double sign = std::string(keyword) == "[Pulldown]" ? 1.0 : -1.0;
        for (std::size_t column = 1; column <= 3; ++column) {
            SCOPED_TRACE(std::string(keyword) + " column " + std::to_string(column));
            // Every row on the resistor's line, to the five digits written.
            for (const auto &row : table) {
                const double r = corner(b.impedance, column);
                EXPECT_THAT(value(row[column]),
                            DoubleNear(sign * value(row[0]) / r, 1e-4 * vmax / r));
            }
        }
    }
}

// The rising edge drives R_load to ground from the pull-up, the falling edge
// R_load to the supply from the pull-down; 60 % of the swing each table
// gives must be the ramp's dV.
TEST_P(WrittenBuffer, RampAgreesWithTheSwingTheTablesDriveIntoTheLoad) {
    const BufferDescription &b = GetParam().buffer;
    const std::string written = text();
    const auto pullup = rows_of(written, "[Pullup]");
    const auto pulldown = rows_of(written, "[Pulldown]");
    const auto ramp = rows_of(written, "[Ramp]");
    ASSERT_EQ(ramp.size(), 3u);
    EXPECT_EQ(value(ramp[2].back()), b.r_load);
    for (std::size_t column = 1; column <= 3; ++column) {
        SCOPED_TRACE("column " + std::to_string(column));
        const double supply = corner(b.supply, column);
        // Bisection for the pad voltage where the driver's current into the
        // pad balances the load's.
        const auto settle = [&](auto current_into_pad) {
            double lo = 0.0, hi = supply;
            for (int i = 0; i < 60; ++i) {
                const double mid = 0.5 * (lo + hi);
                (current_into_pad(mid) > 0.0 ? hi : lo) = mid;
            }
            return 0.5 * (lo + hi);
        };
        const double high = settle(
            [&](double v) { return interpolate(pullup, column, supply - v) + v / b.r_load; });
        const double low = settle(
            [&](double v) { return interpolate(pulldown, column, v) + (v - supply) / b.r_load; });
        for (std::size_t edge : {0u, 1u}) {
            const std::string &rate = ramp[edge][column];
            const std::size_t slash = rate.find('/');
            const double swing = edge == 0 ? high : supply - low;
            EXPECT_THAT(parse_number(rate.substr(0, slash)),
                        Optional(DoubleNear(0.6 * swing, 1e-4)))
                << rate;
            EXPECT_THAT(parse_number(rate.substr(slash + 1)),
                        Optional(DoubleNear(corner(b.transition_time, column), 1e-16)))
                << rate;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ibis, WrittenBuffer,
                         ::testing::Values(Description{"Shipped", BufferDescription{}},
                                           Description{"StrongLowSwing", strong_low_swing()}),
                         [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(IbisNumbers, WritesFiveDigitsWithTheScalingLetter) {
    struct Case {
        double value;
        const char *text;
    };
    for (const Case &c : std::vector<Case>{{0.0, "0"},
                                           {0.0211, "21.1m"},
                                           {-1.05, "-1.05"},
                                           {2e-11, "20p"},
                                           {3e-13, "300f"},
                                           {-0.019090909, "-19.091m"},
                                           {0.99999996, "1"},
                                           {999.9996e-6, "1m"},
                                           {4.7e6, "4.7M"},
                                           {12e12, "12T"}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(format_number(c.value), c.text);
        EXPECT_THAT(parse_number(c.text), Optional(DoubleNear(c.value, std::fabs(c.value) * 1e-5)));
    }
}

TEST(IbisNumbers, ReadsScalingLettersUnitsAndExponents) {
    struct Case {
        const char *text;
        std::optional<double> value;
    };
    for (const Case &c : std::vector<Case>{{"5.0pF", 5e-12},
                                           {"21mA", 21e-3},
                                           {"2M", 2e6},
                                           {"2m", 2e-3},
                                           {"1e-3", 1e-3},
                                           {"-.5V", -0.5},
                                           {"+3.3", 3.3},
                                           {"1.5E+2k", 150e3},
                                           {"NA", std::nullopt},
                                           {"mA", std::nullopt},
                                           {"", std::nullopt},
                                           {"1.0.0", std::nullopt},
                                           {"5 0", std::nullopt},
                                           {"3-2", std::nullopt}}) {
        SCOPED_TRACE(c.text);
        const std::optional<double> v = parse_number(c.text);
        ASSERT_EQ(v.has_value(), c.value.has_value());
        if (c.value) {
            EXPECT_THAT(*v, DoubleNear(*c.value, std::fabs(*c.value) * 1e-12));
        }
    }
}

}  // namespace
