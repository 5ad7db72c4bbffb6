// Printing parameter trees as IBIS-AMI parameter strings.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "IBIS_AMI_tree.h"
#include "tests/support/decimal_comma_locale.h"
#include "tests/support/heap_text.h"

namespace {

Param scalar(const char *name, ParamType type) {
    Param p{};
    p.name = name;
    p.type = type;
    return p;
}

std::string grow(const char *name, std::vector<Param> &entries) {
    HeapText text(GrowTree(name, static_cast<int32_t>(entries.size()), entries.data()));
    return text_or_null(text.get());
}

std::string grow_one(const Param &entry) {
    std::vector<Param> entries{entry};
    return grow("r", entries);
}

std::string printed_double(double v) {
    Param p = scalar("x", PARAM_DOUBLE);
    p.value.as_double = v;
    return grow_one(p);
}

TEST(GrowTree, EmptyBranchIsItsNameInParentheses) {
    EXPECT_EQ(text_or_null(HeapText(GrowTree("root", 0, nullptr)).get()), "(root)");
    Param ignored = scalar("x", PARAM_INT);
    EXPECT_EQ(text_or_null(HeapText(GrowTree("root", -3, &ignored)).get()), "(root)");
}

TEST(GrowTree, DoublesUseSixSignificantDigits) {
    EXPECT_EQ(printed_double(0.5), "(r(x 0.5))");
    EXPECT_EQ(printed_double(100000), "(r(x 100000))");
    EXPECT_EQ(printed_double(1000000), "(r(x 1e+06))");
    EXPECT_EQ(printed_double(1e-9), "(r(x 1e-09))");
    EXPECT_EQ(printed_double(-0.000123456789), "(r(x -0.000123457))");
}

TEST(GrowTree, IntegerTypesPrintAtTheirOwnWidth) {
    Param l = scalar("l", PARAM_LONG);
    l.value.as_long = LONG_MIN;
    Param i = scalar("i", PARAM_INT);
    i.value.as_int = INT32_MIN;
    Param s = scalar("s", PARAM_SHORT);
    s.value.bits = ~uint64_t{0};  // only the low 16 bits belong to the short
    s.value.as_short = -1;
    std::vector<Param> entries{l, i, s};
    EXPECT_EQ(grow("r", entries), "(r(l " + std::to_string(LONG_MIN) + ")(i -2147483648)(s -1))");
}

TEST(GrowTree, CharactersPrintBare) {
    Param c = scalar("c", PARAM_CHAR);
    c.value.as_char = 'Q';
    EXPECT_EQ(grow_one(c), "(r(c Q))");
    // A NUL character cannot appear in the text; the list still closes.
    c.value.as_char = '\0';
    EXPECT_EQ(grow_one(c), "(r(c ))");
}

TEST(GrowTree, TextsAreQuotedWithoutEscaping) {
    char text[] = "a \"b\" (c)";
    Param s = scalar("s", PARAM_STRING);
    s.value.text = text;
    EXPECT_EQ(grow_one(s), "(r(s \"a \"b\" (c)\"))");
    s.value.text = nullptr;
    EXPECT_EQ(grow_one(s), "(r(s \"\"))");
}

TEST(GrowTree, ArraysPrintTheirElementsAndEmptyArraysVanish) {
    int32_t ints[] = {1, 2, 3};
    ParamArray int_array{PARAM_INT_ARRAY, 3, ints};
    double doubles[] = {0.5, 1e6};
    ParamArray double_array{PARAM_DOUBLE_ARRAY, 2, doubles};
    long longs[] = {LONG_MAX};
    ParamArray long_array{PARAM_LONG_ARRAY, 1, longs};
    int16_t shorts[] = {-1, 32767, -32768};
    ParamArray short_array{PARAM_SHORT_ARRAY, 3, shorts};
    ParamArray empty{PARAM_INT_ARRAY, 0, nullptr};

    Param a = scalar("a", PARAM_INT_ARRAY);
    a.value.array = &int_array;
    Param d = scalar("d", PARAM_DOUBLE_ARRAY);
    d.value.array = &double_array;
    Param l = scalar("l", PARAM_LONG_ARRAY);
    l.value.array = &long_array;
    Param s = scalar("s", PARAM_SHORT_ARRAY);
    s.value.array = &short_array;
    Param e = scalar("e", PARAM_INT_ARRAY);
    e.value.array = &empty;
    Param missing = scalar("m", PARAM_DOUBLE_ARRAY);
    missing.value.array = nullptr;

    std::vector<Param> entries{a, e, d, missing, l, s};
    EXPECT_EQ(grow("r", entries),
              "(r(a 1 2 3)(d 0.5 1e+06)(l " + std::to_string(LONG_MAX) + ")(s -1 32767 -32768))");
}

TEST(GrowTree, SubBranchesPrintUnderTheirRecordName) {
    Param inner_entries[] = {scalar("x", PARAM_INT)};
    inner_entries[0].value.as_int = 7;
    ParamBranch inner{"inner_record", 1, inner_entries};
    ParamBranch empty{"empty", 0, nullptr};
    Param b = scalar("entry_name", PARAM_BRANCH);
    b.value.branch = &inner;
    Param e = scalar("e", PARAM_BRANCH);
    e.value.branch = &empty;
    std::vector<Param> entries{b, e};
    EXPECT_EQ(grow("root", entries), "(root(inner_record(x 7))(empty))");
}

TEST(GrowTree, UnknownTypeCodesPrintNothing) {
    Param above = scalar("above", static_cast<ParamType>(11));
    Param negative = scalar("negative", static_cast<ParamType>(-1));
    Param kept = scalar("kept", PARAM_INT);
    std::vector<Param> entries{above, kept, negative};
    EXPECT_EQ(grow("r", entries), "(r(kept 0))");
}

TEST(GrowTree, ModelDefaultsEcho) {
    Param corner = scalar("TX_Corner", PARAM_INT);
    Param preemph = scalar("TX_Preemph", PARAM_INT);
    std::vector<Param> entries{corner, preemph};
    EXPECT_EQ(grow("Halvorin_7314_Tx", entries), "(Halvorin_7314_Tx(TX_Corner 0)(TX_Preemph 0))");
}

// Names and values far beyond any line buffer are printed whole.
TEST(GrowTree, LongNamesAndValuesArePrintedWhole) {
    const std::string name(1000, 'n');
    std::string value(5000, 'v');
    int32_t items[] = {42};
    ParamArray array{PARAM_INT_ARRAY, 1, items};
    Param sub_entries[] = {scalar(name.c_str(), PARAM_DOUBLE)};
    sub_entries[0].value.as_double = 1.5;
    ParamBranch sub{name.c_str(), 1, sub_entries};

    Param i = scalar(name.c_str(), PARAM_INT);
    Param c = scalar(name.c_str(), PARAM_CHAR);
    c.value.as_char = 'z';
    Param s = scalar(name.c_str(), PARAM_STRING);
    s.value.text = value.data();
    Param a = scalar(name.c_str(), PARAM_INT_ARRAY);
    a.value.array = &array;
    Param b = scalar("b", PARAM_BRANCH);
    b.value.branch = &sub;
    std::vector<Param> entries{i, c, s, a, b};

    const std::string expected = "(" + name + "(" + name + " 0)(" + name + " z)(" + name + " \"" +
                                 value + "\")(" + name + " 42)(" + name + "(" + name + " 1.5)))";
    EXPECT_EQ(grow(name.c_str(), entries), expected);
}

TEST(PrintArray, EmptyArrayGivesNull) {
    int32_t items[] = {1};
    EXPECT_EQ(print_array("a", PARAM_INT_ARRAY, 0, items), nullptr);
    // The element type is only looked at when there are elements to print.
    EXPECT_EQ(print_array("a", PARAM_CHAR, 0, items), nullptr);
}

TEST(PrintArray, PrintsNameAndElements) {
    double items[] = {-2.5, 0.1, 123456789.0};
    HeapText text(print_array("w", PARAM_DOUBLE_ARRAY, 3, items));
    EXPECT_EQ(text_or_null(text.get()), "(w -2.5 0.1 1.23457e+08)");
}

TEST(PrintArrayDeathTest, ImpossibleElementTypeAborts) {
    int32_t items[] = {1};
    EXPECT_DEATH(print_array("a", PARAM_CHAR, 1, items),
                 "IBIS_AMI_tree:688: print_array: Assertion `0' failed");
    EXPECT_DEATH(print_array("a", PARAM_STRING, 1, items),
                 "IBIS_AMI_tree:688: print_array: Assertion `0' failed");
}

}  // namespace

namespace {

// The echo is IBIS-AMI syntax whatever locale the simulator runs in.
TEST(GrowTree, NumbersKeepTheDecimalPointUnderAnyLocale) {
    DecimalCommaLocale comma;
    if (!comma.available()) {
        GTEST_SKIP() << "cannot build a decimal-comma locale on this machine";
    }
    double items[] = {2.5};
    ParamArray array{PARAM_DOUBLE_ARRAY, 1, items};
    Param d = scalar("d", PARAM_DOUBLE);
    d.value.as_double = 0.25;
    Param a = scalar("a", PARAM_DOUBLE_ARRAY);
    a.value.array = &array;
    std::vector<Param> entries{d, a};
    EXPECT_EQ(grow("r", entries), "(r(d 0.25)(a 2.5))");
}

}  // namespace
