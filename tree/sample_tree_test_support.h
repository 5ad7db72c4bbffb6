// A parameter tree with an entry of every type code and two nested branches,
// for reading parameter strings into. Texts and array items are malloc'd, as
// the tree owns them; the destructor releases them with FreeTree.
#ifndef AMI_TREE_SAMPLE_TREE_TEST_SUPPORT_H
#define AMI_TREE_SAMPLE_TREE_TEST_SUPPORT_H

#include <cstdlib>
#include <cstring>
#include <string>

#include "IBIS_AMI_tree.h"
#include "tests/support/heap_text.h"

class SampleTree {
  public:
    // Entry indices of the root "m".
    enum { D, L, I, S, C, DA, LA, IA, SA, T, B, kRootCount };

    SampleTree() {
        static const char *const names[kRootCount] = {"d",  "l",  "i",  "s", "c", "da",
                                                      "la", "ia", "sa", "t", "b"};
        for (int k = 0; k < kRootCount; ++k) {
            root[k].name = names[k];
            root[k].type = static_cast<ParamType>(k);
        }
        for (int k = 0; k < 4; ++k) {
            arrays[k] = ParamArray{static_cast<ParamType>(PARAM_DOUBLE_ARRAY + k), 0, nullptr};
            root[DA + k].value.array = &arrays[k];
        }
        root[T].value.text = copy("default");
        root[B].value.branch = &inner;
        inner_entries[0] = Param{"x", PARAM_INT, {}};
        inner_entries[1] = Param{"deep", PARAM_BRANCH, {}};
        inner_entries[1].value.branch = &deepest;
        deepest_entries[0] = Param{"y", PARAM_DOUBLE, {}};
    }
    ~SampleTree() { FreeTree("m", kRootCount, root); }
    SampleTree(const SampleTree &) = delete;
    SampleTree &operator=(const SampleTree &) = delete;

    // Reads text into the tree; returns the count, the messages in *messages.
    int32_t parse(const std::string &text, std::string *messages = nullptr) {
        char *msg = nullptr;
        const int32_t count = ParseTree(text.c_str(), "m", kRootCount, root, &msg);
        if (messages != nullptr) {
            *messages = text_or_null(msg);
        }
        std::free(msg);
        return count;
    }
    std::string echo() {
        HeapText text(GrowTree("m", kRootCount, root));
        return text_or_null(text.get());
    }

    static char *copy(const char *text) {
        char *block = static_cast<char *>(std::malloc(std::strlen(text) + 1));
        std::strcpy(block, text);
        return block;
    }

    Param root[kRootCount] = {};
    ParamArray arrays[4] = {};
    Param inner_entries[2] = {};
    Param deepest_entries[1] = {};
    ParamBranch inner{"inner", 2, inner_entries};
    ParamBranch deepest{"deepest", 1, deepest_entries};
};

#endif  // AMI_TREE_SAMPLE_TREE_TEST_SUPPORT_H
