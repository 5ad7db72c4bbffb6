// Filling a parameter tree from a parameter string.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/decimal_comma_locale.h"
#include "tests/support/growth_ratio.h"
#include "tree/capped_parse.h"
#include "tree/sample_tree_test_support.h"

namespace {

std::string v1(const std::string &name) {
    return "**Error** Could not convert value for " + name + ".\n";
}
std::string v2(const std::string &name) {
    return "**Warning** Extra white space and text encountered in value for " + name + ".\n";
}
std::string v3(const std::string &name) {
    return "**Error** '(' encountered in parameter string when value for " + name +
           " was expected.\n";
}

template <typename T>
std::vector<T> items(const ParamArray &a) {
    const T *p = static_cast<const T *>(a.items);
    return std::vector<T>(p, p + a.count);
}

TEST(ParseTree, FillsEveryTypeAndNestedBranches) {
    SampleTree tree;
    std::string msg;
    const int32_t count = tree.parse(
        "(m (d 2.5) (l -123456) (i 0x10) (s -7) (c Q) (da 1 2.5 3) (la 4) (ia 010 -1)\n"
        "  (sa 300) (t \"a (b)\tc\") (b (x 5) (deep (y 1e-3))))",
        &msg);
    EXPECT_EQ(count, 15);
    EXPECT_EQ(msg, "<null>");
    EXPECT_EQ(tree.echo(),
              "(m(d 2.5)(l -123456)(i 16)(s -7)(c Q)(da 1 2.5 3)(la 4)(ia 8 -1)(sa 300)"
              "(t \"a (b)\tc\")(inner(x 5)(deepest(y 0.001))))");
}

TEST(ParseTree, ScalarsReadTheLongestNumberAtTheStart) {
    const std::vector<std::pair<std::string, int32_t>> cases{{"0x1", 1},
                                                             {"010", 8},
                                                             {"-1", -1},
                                                             {"1.9", 1},
                                                             {"3abc", 3},
                                                             {"+0X1f", 31},
                                                             {"08", 0},
                                                             {"0x", 0},
                                                             {"-0", 0},
                                                             {"2147483647", INT32_MAX},
                                                             {"-2147483648", INT32_MIN}};
    for (const auto &c : cases) {
        SampleTree tree;
        std::string msg;
        EXPECT_EQ(tree.parse("(m (i " + c.first + "))", &msg), 1) << c.first;
        EXPECT_EQ(tree.root[SampleTree::I].value.as_int, c.second) << c.first;
        EXPECT_EQ(msg, "<null>");
    }
    SampleTree tree;
    tree.parse("(m (s \" 12\") (d \"\v-.5e1\") (c \" x\"))");
    EXPECT_EQ(tree.root[SampleTree::S].value.as_short, 12);
    EXPECT_EQ(tree.root[SampleTree::D].value.as_double, -5.0);
    EXPECT_EQ(tree.root[SampleTree::C].value.as_char, ' ');
}

// Values the type cannot hold are refused, not wrapped: the old value stays.
TEST(ParseTree, ValuesThatDoNotFitAreRefused) {
    const std::string long_beyond = sizeof(long) == 8 ? "9223372036854775808" : "2147483648";
    const std::vector<std::pair<std::string, std::string>> cases{{"i", "4294967297"},
                                                                 {"i", "2147483648"},
                                                                 {"i", "-2147483649"},
                                                                 {"i", "0x100000000"},
                                                                 {"s", "70000"},
                                                                 {"s", "-32769"},
                                                                 {"s", "0x8000"},
                                                                 {"l", long_beyond},
                                                                 {"l", "-" + long_beyond + "1"},
                                                                 {"i", "abc"},
                                                                 {"i", "-"},
                                                                 {"d", "1e999"},
                                                                 {"d", "-1e999"},
                                                                 {"d", "."},
                                                                 {"d", "0x"},
                                                                 {"i", "99999999999999999999999"}};
    for (const auto &c : cases) {
        SampleTree tree;
        tree.root[SampleTree::I].value.bits = 0x1111111111111111u;
        tree.root[SampleTree::S].value.bits = 0x1111111111111111u;
        tree.root[SampleTree::L].value.bits = 0x1111111111111111u;
        tree.root[SampleTree::D].value.bits = 0x1111111111111111u;
        std::string msg;
        EXPECT_EQ(tree.parse("(m (" + c.first + " " + c.second + "))", &msg), 0) << c.second;
        EXPECT_EQ(msg, v1(c.first));
        for (int k : {SampleTree::D, SampleTree::L, SampleTree::I, SampleTree::S}) {
            EXPECT_EQ(tree.root[k].value.bits, 0x1111111111111111u) << c.second;
        }
    }
    SampleTree tree;
    EXPECT_EQ(tree.parse("(m (s -32768) (l -" + long_beyond + ") (d -inf) (ia 4294967297 7))"), 4);
    EXPECT_EQ(tree.root[SampleTree::S].value.as_short, -32768);
    EXPECT_EQ(tree.root[SampleTree::L].value.as_long, LONG_MIN);
    EXPECT_EQ(tree.root[SampleTree::D].value.as_double, -HUGE_VAL);
    EXPECT_EQ(items<int32_t>(tree.arrays[2]), (std::vector<int32_t>{0, 7}));
}

TEST(ParseTree, ShortValueWritesOnlyItsTwoBytes) {
    SampleTree tree;
    tree.root[SampleTree::S].value.bits = 0xAAAAAAAAAAAAAAAAu;
    tree.parse("(m (s -1))");
    EXPECT_EQ(tree.root[SampleTree::S].value.bits, 0xAAAAAAAAAAAAFFFFu);
}

TEST(ParseTree, ArraysGrowByEveryOccurrenceBehindTheirDefaults) {
    SampleTree tree;
    auto *defaults = static_cast<int16_t *>(std::malloc(sizeof(int16_t)));
    defaults[0] = 9;
    tree.arrays[3] = ParamArray{PARAM_SHORT_ARRAY, 1, defaults};
    std::string msg;
    EXPECT_EQ(tree.parse("(m (da 1 2.5 3) (sa 1 x 2) (da 4) (la \"1 2 3\") (sa 3))", &msg), 8);
    EXPECT_EQ(items<double>(tree.arrays[0]), (std::vector<double>{1, 2.5, 3, 4}));
    EXPECT_EQ(items<int16_t>(tree.arrays[3]), (std::vector<int16_t>{9, 1, 0, 2, 3}));
    EXPECT_EQ(items<long>(tree.arrays[1]), (std::vector<long>{1}));
    EXPECT_EQ(msg, v1("sa"));

    std::string many = "(m (ia";
    for (int k = 0; k < 100000; ++k) {
        many += " " + std::to_string(k);
    }
    EXPECT_EQ(tree.parse(many + "))"), 100000);
    const std::vector<int32_t> read = items<int32_t>(tree.arrays[2]);
    ASSERT_EQ(read.size(), 100000u);
    EXPECT_EQ(read[99999], 99999);
    EXPECT_EQ(read[12345], 12345);
}

TEST(ParseTree, TextsKeepTheirTokenAndReplaceEarlierOnes) {
    SampleTree tree;
    EXPECT_EQ(tree.parse("(m (t first) (t \"1 2 3\") (ia \"1 2 3\"))"), 3);
    EXPECT_STREQ(tree.root[SampleTree::T].value.text, "1 2 3");
    EXPECT_EQ(items<int32_t>(tree.arrays[2]), (std::vector<int32_t>{1}));
    // The replaced texts were freed: the leak checks of the heap and
    // sanitizer builds would report them otherwise.
}

TEST(ParseTree, ReportsBadValuesAndLists) {
    SampleTree tree;
    std::string msg;
    tree.root[SampleTree::I].value.as_int = 4;
    EXPECT_EQ(tree.parse("(m (i abc) (i 1 2) (s (x 1)) (b 5) (da (x 1)) (b (x 3)))", &msg), 2);
    EXPECT_EQ(msg, v1("i") + v2("i") + v1("i") + v3("s") + v1("b") + v3("da"));
    EXPECT_EQ(tree.root[SampleTree::I].value.as_int, 1);
    EXPECT_EQ(tree.inner_entries[0].value.as_int, 3);  // not the x under s or da

    EXPECT_EQ(tree.parse("(m 5)", &msg), 0);
    EXPECT_EQ(msg, v1("m"));
}

TEST(ParseTree, UnknownNamesArePassedOverSilently) {
    SampleTree tree;
    std::string msg;
    EXPECT_EQ(tree.parse("(other (i 1) (d 2))", &msg), 0);
    EXPECT_EQ(tree.parse("(m (I 1) (i_ 1) (x 1) (zz (i 1) (b (x 1))) (inner (x 2)))", &msg), 0);
    EXPECT_EQ(msg, "<null>");
    EXPECT_EQ(tree.echo().find("(i 1)"), std::string::npos);
    EXPECT_EQ(tree.parse("", &msg), 0);
    EXPECT_EQ(msg, "<null>");
}

// The message string is emptied first, without freeing what it held, for
// an empty text too.
TEST(ParseTree, SetsTheMessageStringToNullFirst) {
    SampleTree tree;
    char held[] = "not the reader's";
    for (const char *text : {"", "(m (i 1))"}) {
        char *msg = held;
        EXPECT_EQ(ParseTree(text, "m", SampleTree::kRootCount, tree.root, &msg), *text ? 1 : 0);
        EXPECT_EQ(msg, nullptr) << text;
    }
}

TEST(ParseTree, FirstEntryOfAName) {
    Param entries[2] = {{"a", PARAM_INT, {}}, {"a", PARAM_INT, {}}};
    EXPECT_EQ(ParseTree("(r (a 3))", "r", 2, entries, nullptr), 1);
    EXPECT_EQ(entries[0].value.as_int, 3);
    EXPECT_EQ(entries[1].value.as_int, 0);
}

TEST(ParseTree, FormatWordIsSkippedInNamePosition) {
    SampleTree tree;
    EXPECT_EQ(tree.parse("(m (Format i 7) (Formats i 8) (t Format))"), 2);
    EXPECT_EQ(tree.root[SampleTree::I].value.as_int, 7);
    EXPECT_STREQ(tree.root[SampleTree::T].value.text, "Format");
}

TEST(ParseTree, MessagesOfLexerAndGrammarStandBeforeAnEmptyLine) {
    SampleTree tree;
    std::string msg;
    EXPECT_EQ(tree.parse("(m (i x\"y) (c 1 2)) ) x", &msg), 1);
    EXPECT_EQ(msg, v1("i") +
                       "**Warning** Ignoring unexpected quote found at \"y) (c 1 2)) ) x.\n\n" +
                       v2("i") + v1("i") + v2("c") + v1("c") +
                       "**Error** Too many close parens in parameter string.\n\n" +
                       "**Error** Text encountered in parameter string when '(' or ')' was "
                       "expected.\n\n");
}

TEST(ParseTree, QuoteWarningFitsUpTo206Characters) {
    for (std::size_t rest : {206u, 207u}) {
        SampleTree tree;
        std::string msg;
        const std::string tail = "\"" + std::string(rest - 1, 'q');
        tree.parse(tail, &msg);
        const std::string warning =
            "**Warning** Ignoring unexpected quote found at " + tail + ".\n\n";
        const std::string t1 =
            "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n";
        EXPECT_EQ(msg, (rest == 206 ? warning : "") + t1);
    }
}

// Below the fifteenth level names are still looked up at level 15.
TEST(ParseTree, ListsBeyondTheDepthLimitStayOnTheLastLevel) {
    // Levels 1 to 14 each hold one branch entry "n" leading a level deeper;
    // level 15 holds the integer v.
    std::vector<ParamBranch> levels(15);
    std::vector<Param> links(14);
    Param leaf{"v", PARAM_INT, {}};
    for (std::size_t k = 0; k < 14; ++k) {
        links[k] = Param{"n", PARAM_BRANCH, {}};
        links[k].value.branch = &levels[k + 1];
        levels[k + 1] = ParamBranch{"level", 1, k + 1 < 14 ? &links[k + 1] : &leaf};
    }
    std::string text = "(r";
    for (int k = 0; k < 14; ++k) {
        text += " (n";
    }
    text += " (v (v 7))" + std::string(15, ')');
    char *msg = nullptr;
    EXPECT_EQ(ParseTree(text.c_str(), "r", 1, links.data(), &msg), 1);
    EXPECT_EQ(leaf.value.as_int, 7);
    EXPECT_EQ(text_or_null(msg),
              "**Error** Parameter string nested too deeply.\n\n"
              "**Error** Too many close parens in parameter string.\n\n");
    std::free(msg);
}

TEST(ParseTree, NumbersUseTheDecimalPointUnderAnyLocale) {
    DecimalCommaLocale comma;
    if (!comma.available()) {
        GTEST_SKIP() << "cannot build a decimal-comma locale on this machine";
    }
    SampleTree tree;
    EXPECT_EQ(tree.parse("(m (d 2.5) (da 0.25) (i 2,5))"), 3);
    EXPECT_EQ(tree.root[SampleTree::D].value.as_double, 2.5);
    EXPECT_EQ(items<double>(tree.arrays[0]), (std::vector<double>{0.25}));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the caller's locale is back
}

// Strings where nearly every character produces a message, or where one
// token is handed on again and again: four times the length must take about
// four times as long (quadratic work would take sixteen).
TEST(ParseTree, ReadingIsLinearInTheLength) {
    const std::vector<std::pair<const char *, std::string (*)(std::size_t)>> shapes{
        {"closes and quotes",
         [](std::size_t n) { return std::string(n, ')') + std::string(3 * n, '"'); }},
        {"quotes inside an array",
         [](std::size_t n) { return "(m (da 1" + std::string(n, '"') + ")"; }},
        {"one token handed on again and again",
         [](std::size_t n) {
             std::string text = "(m (da \"" + std::string(n, ' ') + "\"";
             for (std::size_t k = 0; k < n; ++k) {
                 text += "1\"";
             }
             return text;
         }},
    };
    for (const auto &[name, make] : shapes) {
        SCOPED_TRACE(name);
        const double ratio = growth_ratio(1u << 17, [make = make](std::size_t n) {
            const std::string text = make(n);
            SampleTree tree;
            std::string msg;
            tree.parse(text, &msg);
            EXPECT_GT(msg.size(), 1000u);
        });
        EXPECT_LT(ratio, kLinearGrowthLimit);
    }
}

// With a limit, the messages stop at the first that does not fit; it and
// all after it are counted, even shorter ones that would fit.
TEST(ParseTreeCapped, KeepsTheMessagesBeforeTheFirstThatDoesNotFit) {
    const std::string text = "(m (i 1 2) (d y))";
    const std::string all = v2("i") + v1("i") + v1("d");
    struct Case {
        const char *name;
        std::size_t limit;
        std::string kept;
        std::size_t left_out;
    };
    const Case cases[] = {
        {"no limit", SIZE_MAX, all, 0},
        {"exactly the whole", all.size(), all, 0},
        {"one byte short", all.size() - 1, v2("i") + v1("i"), 1},
        {"room for the shorter ones only", v1("i").size(), "", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SampleTree tree;
        char *msg = nullptr;
        std::size_t left_out = 99;
        ami::parse_tree_capped(text.c_str(), "m", SampleTree::kRootCount, tree.root, &msg, c.limit,
                               &left_out);
        EXPECT_EQ(msg == nullptr ? std::string() : std::string(msg), c.kept);
        EXPECT_EQ(left_out, c.left_out);
        std::free(msg);
    }
}

TEST(AddToArray, AppendsOneElementScannedFromTheText) {
    ParamArray a{PARAM_LONG_ARRAY, 0, nullptr};
    EXPECT_EQ(AddToArray("123)", 1, PARAM_LONG_ARRAY, &a), 1);  // the number ends by itself
    EXPECT_EQ(AddToArray("z", 1, PARAM_LONG_ARRAY, &a), 0);     // kept, as 0
    EXPECT_EQ(AddToArray(" -0x10 ", 7, PARAM_LONG_ARRAY, &a), 1);
    EXPECT_EQ(items<long>(a), (std::vector<long>{123, 0, -16}));
    std::free(a.items);
    ParamArray d{PARAM_DOUBLE_ARRAY, 0, nullptr};
    EXPECT_EQ(AddToArray("1e", 2, PARAM_DOUBLE_ARRAY, &d), 1);
    EXPECT_EQ(AddToArray("1e999", 5, PARAM_DOUBLE_ARRAY, &d), 0);
    EXPECT_EQ(AddToArray("infinity", 8, PARAM_DOUBLE_ARRAY, &d), 1);
    EXPECT_EQ(items<double>(d), (std::vector<double>{1, 0, HUGE_VAL}));
    std::free(d.items);
}

TEST(AddToArrayDeathTest, ImpossibleElementTypeAborts) {
    ParamArray a{PARAM_INT_ARRAY, 0, nullptr};
    for (ParamType type : {PARAM_SHORT, PARAM_STRING, static_cast<ParamType>(-1)}) {
        EXPECT_DEATH(AddToArray("1", 1, type, &a),
                     "IBIS_AMI_tree:365: AddToArray: Assertion `0' failed");
    }
}

}  // namespace
