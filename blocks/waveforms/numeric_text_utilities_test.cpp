// Rounding to int and reading textual lists: the rounding table, counting
// entries, what "%lf" accepts entry by entry, the 512-value cap, the C
// numeric locale, and reading time linear in the length of the list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/decimal_comma_locale.h"
#include "tests/support/growth_ratio.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::NanSensitiveDoubleEq;
using ::testing::Pointwise;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int32_t kIntMax = 2147483647;

// ---- d2i ------------------------------------------------------------------

struct RoundingCase {
    double x;
    int32_t expected;
};

void PrintTo(const RoundingCase &c, std::ostream *os) {
    *os << c.x;
}

class RoundToInt : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundToInt, HalvesAwayFromZeroButMinusOneHalf) {
    EXPECT_EQ(d2i(GetParam().x), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundToInt,
    ::testing::Values(RoundingCase{0.49, 0}, RoundingCase{0.5, 1}, RoundingCase{-0.5, 0},
                      RoundingCase{-0.51, -1}, RoundingCase{1.5, 2}, RoundingCase{2.5, 3},
                      RoundingCase{-2.5, -3}, RoundingCase{3.7, 4}, RoundingCase{-0.0, 0},
                      RoundingCase{1073741824.0, 1073741824},
                      RoundingCase{2147483646.4, 2147483646}, RoundingCase{2147483646.5, kIntMax},
                      RoundingCase{2147483647.0, kIntMax}, RoundingCase{1e12, kIntMax},
                      RoundingCase{-1e12, -kIntMax}, RoundingCase{kInfinity, kIntMax},
                      RoundingCase{-kInfinity, -kIntMax}, RoundingCase{std::nan(""), -1}));

// ---- stringArraySize --------------------------------------------------------

struct ListCase {
    std::string name;
    std::string text;
    int32_t entries;
    std::vector<double> values;
};

void PrintTo(const ListCase &c, std::ostream *os) {
    *os << c.name;
}

// Reads a list and hands back its values, freeing the array.
std::vector<double> read_list(const char *text, int32_t *count) {
    double *array = string2DoubleArray(text, count);
    std::vector<double> values(array, array + (*count > 0 ? *count : 0));
    std::free(array);
    return values;
}

class TextualList : public ::testing::TestWithParam<ListCase> {};

TEST_P(TextualList, CountsEntriesAndReadsTheirNumbers) {
    const ListCase &c = GetParam();
    EXPECT_EQ(stringArraySize(c.text.c_str()), c.entries);
    int32_t count = -1;
    EXPECT_THAT(read_list(c.text.c_str(), &count), Pointwise(NanSensitiveDoubleEq(), c.values));
    EXPECT_EQ(count, static_cast<int32_t>(c.values.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TextualList,
    ::testing::Values(ListCase{"SingleSpaces", "1 2 3", 3, {1, 2, 3}},
                      ListCase{"QuotedAndComma", "\"4\",\"5\"", 2, {4, 5}},
                      ListCase{"OnlySeparators", ", ,\t\r\n\"", 0, {}},
                      ListCase{"Empty", "", 0, {}}, ListCase{"VerticalTabJoins", "a\vb", 1, {}},
                      ListCase{"MixedSeparators", "1.5, 2e-3 \"7\"", 3, {1.5, 0.002, 7}},
                      ListCase{"WordsSkippedPrefixesRead", "abc 4 12xyz", 3, {4, 12}},
                      // What "%lf" takes from the start of an entry, and what it refuses.
                      ListCase{"SignsAndPoints", "+.5e-3 -2. .25", 3, {0.0005, -2, 0.25}},
                      ListCase{"HexadecimalFloats", "0x1.8p1 -0X10 0x1p", 3, {3, -16, 1}},
                      ListCase{"InfinityAndNan",
                               "inf -Infinity nan(12) NAN",
                               4,
                               {kInfinity, -kInfinity, std::nan(""), std::nan("")}},
                      ListCase{"OverflowIsInfinityUnderflowZero",
                               "1e999 -1e999 1e-400",
                               3,
                               {kInfinity, -kInfinity, 0}},
                      ListCase{
                          "IncompleteExponentsStopBefore", "1e 2e+ 3e+x 4.5E-", 4, {1, 2, 3, 4.5}},
                      ListCase{"RefusedPrefixes", "0x infin - . +-1 e5", 6, {}},
                      ListCase{"FormFeedAndVerticalTabLead", "\f8 \v\v9", 2, {8, 9}},
                      ListCase{"LoneFormFeedIsNotTheNextEntry", "\f 6", 2, {6}},
                      ListCase{"BytesAbove127EndTheNumber", "4\xc3\xa9 \xc3\xa9", 2, {4}},
                      ListCase{"LongEntry", "0." + std::string(200, '0') + "1e201", 1, {1}}),
    [](const ::testing::TestParamInfo<ListCase> &row) { return row.param.name; });

// Each entry on its own against the standard scanner reading that entry
// alone: the same conversion, the same bits.
TEST(TextualList, EachEntryReadsAsPercentLfReadsIt) {
    const std::vector<std::string> entries{"0",
                                           "-0",
                                           "+7",
                                           "1e-320",
                                           "4.9e-324",
                                           "2.5e-324",
                                           "1.7976931348623157e308",
                                           "1.8e308",
                                           "0x1.fffffffffffffp1023",
                                           "0x1p-1074",
                                           "0x.8",
                                           "0x.p1",
                                           "0x1P+",
                                           "1..2",
                                           "1e5e5",
                                           "nan(abc)",
                                           "nan(",
                                           "-nan",
                                           "+inf",
                                           "INFINITY",
                                           "infinit",
                                           "in",
                                           "123456789012345678901234567890",
                                           "0.1000000000000000055511151231257827",
                                           "\v\f-3",
                                           "\v",
                                           "+",
                                           "-.",
                                           "x1",
                                           "1x"};
    for (const std::string &entry : entries) {
        SCOPED_TRACE(entry);
        double expected = 0.0;
        const bool converts = std::sscanf(entry.c_str(), "%lf", &expected) == 1;
        int32_t count = -1;
        const std::vector<double> values = read_list(entry.c_str(), &count);
        ASSERT_EQ(count, converts ? 1 : 0);
        if (converts) {
            EXPECT_EQ(std::memcmp(&values[0], &expected, sizeof expected), 0)
                << values[0] << " against " << expected;
        }
    }
}

std::string numbers(int from, int to, const char *separator = " ") {
    std::string text;
    for (int v = from; v < to; ++v) {
        text += std::to_string(v) + separator;
    }
    return text;
}

std::vector<double> range(int from, int to) {
    std::vector<double> values;
    for (int v = from; v < to; ++v) {
        values.push_back(v);
    }
    return values;
}

TEST(TextualList, KeepsTheFirst512ReadableValues) {
    int32_t count = 0;
    EXPECT_THAT(read_list(numbers(0, 600).c_str(), &count), ElementsAreArray(range(0, 512)));
    EXPECT_EQ(count, 512);
    // Unreadable entries do not count towards the cap.
    const std::string mixed = "x " + numbers(0, 300, " y ") + "z " + numbers(300, 700);
    EXPECT_EQ(stringArraySize(mixed.c_str()), 2 + 300 * 2 + 400);
    EXPECT_THAT(read_list(mixed.c_str(), &count), ElementsAreArray(range(0, 512)));
}

TEST(TextualList, EmptyOrNullTextGivesAnArrayToFreeAndCountZero) {
    for (const char *text : {"", ", \"\t", "no numbers", static_cast<const char *>(nullptr)}) {
        int32_t count = -1;
        double *array = string2DoubleArray(text, &count);
        EXPECT_NE(array, nullptr);
        EXPECT_EQ(count, 0);
        std::free(array);
    }
    EXPECT_EQ(stringArraySize(nullptr), 0);
    double *array = string2DoubleArray("3 4", nullptr);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[1], 4.0);
    std::free(array);
}

TEST(TextualList, NumbersUseTheDecimalPointUnderAnyLocale) {
    DecimalCommaLocale comma;
    if (!comma.available()) {
        GTEST_SKIP() << "cannot build a decimal-comma locale on this machine";
    }
    int32_t count = 0;
    EXPECT_THAT(read_list("1.5 -0.25e1 2,5", &count), ElementsAreArray({1.5, -2.5, 2.0, 5.0}));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the caller's locale is back
}

// Entries the reader has to read one by one up to the end (words before the
// last 512 numbers): four times the entries take about four times as long.
// A reader that measured the rest of the text at every entry would take
// sixteen times as long. The lists are made before the clock starts.
TEST(TextualList, ReadingIsLinearInTheLength) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "under ThreadSanitizer the cost of each intercepted call grows with the "
                    "length of the run, so time ratios say nothing about the reader";
#endif
    constexpr std::size_t kEntries = 10000;
    const auto list = [](std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i + 512 < n; ++i) {
            text += "0x ";
        }
        return text + numbers(0, 512);
    };
    const std::string shorter = list(kEntries);
    const std::string longer = list(4 * kEntries);
    const auto text_of = [&](std::size_t n) {
        return n == kEntries ? shorter.c_str() : longer.c_str();
    };
    const double read_ratio = growth_ratio(kEntries, [&](std::size_t n) {
        int32_t count = 0;
        std::free(string2DoubleArray(text_of(n), &count));
        EXPECT_EQ(count, 512);
    });
    EXPECT_LT(read_ratio, kLinearGrowthLimit);
    const double count_ratio = growth_ratio(kEntries, [&](std::size_t n) {
        EXPECT_EQ(stringArraySize(text_of(n)), static_cast<int32_t>(n));
    });
    EXPECT_LT(count_ratio, kLinearGrowthLimit);
}

}  // namespace
