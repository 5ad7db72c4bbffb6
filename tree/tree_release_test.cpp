// FreeTree releases exactly the values a tree owns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "IBIS_AMI_tree.h"
#include "tests/support/heap_accounting.h"

namespace {

char *heap_text(const char *text) {
    char *copy = static_cast<char *>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

void *heap_items(std::size_t bytes) {
    return std::calloc(1, bytes);
}

TEST(FreeTree, ReleasesTextsAndItemsThroughNestedBranches) {
    heap_accounting_start();
    ParamArray doubles{PARAM_DOUBLE_ARRAY, 2, heap_items(2 * sizeof(double))};
    ParamArray shorts{PARAM_SHORT_ARRAY, 3, heap_items(3 * sizeof(int16_t))};
    ParamArray empty{PARAM_INT_ARRAY, 0, nullptr};

    Param inner_entries[3] = {};
    inner_entries[0] = Param{"text", PARAM_STRING, {}};
    inner_entries[0].value.text = heap_text("inner");
    inner_entries[1] = Param{"shorts", PARAM_SHORT_ARRAY, {}};
    inner_entries[1].value.array = &shorts;
    inner_entries[2] = Param{"null_text", PARAM_STRING, {}};
    ParamBranch inner{"inner", 3, inner_entries};

    Param entries[5] = {};
    entries[0] = Param{"d", PARAM_DOUBLE_ARRAY, {}};
    entries[0].value.array = &doubles;
    entries[1] = Param{"b", PARAM_BRANCH, {}};
    entries[1].value.branch = &inner;
    entries[2] = Param{"s", PARAM_STRING, {}};
    entries[2].value.text = heap_text("outer");
    entries[3] = Param{"e", PARAM_INT_ARRAY, {}};
    entries[3].value.array = &empty;
    entries[4] = Param{"n", PARAM_INT, {}};
    entries[4].value.as_int = 12345;

    FreeTree("root", 5, entries);
    const HeapTally tally = heap_accounting_stop();
    EXPECT_EQ(tally.allocations, 4);
    EXPECT_EQ(tally.live(), 0);
    // The structure stays with its builder: records and counts are untouched.
    EXPECT_EQ(doubles.count, 2);
    EXPECT_EQ(inner.count, 3);
}

TEST(FreeTree, FreesNothingWithoutEntriesOrForForeignCodes) {
    char not_heap[] = "on the stack";
    Param entries[3] = {};
    entries[0] = Param{"above", static_cast<ParamType>(11), {}};
    entries[0].value.text = not_heap;
    entries[1] = Param{"negative", static_cast<ParamType>(-2), {}};
    entries[1].value.text = not_heap;
    entries[2] = Param{"c", PARAM_CHAR, {}};
    entries[2].value.as_char = 'x';

    heap_accounting_start();
    FreeTree("r", 3, entries);
    FreeTree("r", 0, entries);
    FreeTree("r", -1, entries);
    FreeTree(nullptr, 2, nullptr);
    const HeapTally tally = heap_accounting_stop();
    EXPECT_EQ(tally.releases, 0);
}

TEST(FreeTree, TheRootNameIsNotRead) {
    Param entry{"s", PARAM_STRING, {}};
    heap_accounting_start();
    entry.value.text = heap_text("value");
    FreeTree(nullptr, 1, &entry);
    EXPECT_EQ(heap_accounting_stop().live(), 0);
}

}  // namespace
