// Reading speed of ParseTree, in bytes of parameter string per second: a
// clean string, and strings where nearly every character is a mistake.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "IBIS_AMI_tree.h"

namespace {

constexpr std::size_t kLength = 4u << 20;

struct Tree {
    ParamArray doubles{PARAM_DOUBLE_ARRAY, 0, nullptr};
    Param entries[5] = {{"d", PARAM_DOUBLE, {}},
                        {"i", PARAM_INT, {}},
                        {"t", PARAM_STRING, {}},
                        {"da", PARAM_DOUBLE_ARRAY, {}},
                        {"c", PARAM_CHAR, {}}};
    Tree() { entries[3].value.array = &doubles; }
    ~Tree() { FreeTree("m", 5, entries); }
};

std::string repeat_inside_root(const std::string &part) {
    std::string text = "(m";
    while (text.size() < kLength) {
        text += part;
    }
    return text + ")";
}

void read_string(benchmark::State &state, const std::string &text) {
    for (auto _ : state) {
        Tree tree;
        char *msg = nullptr;
        benchmark::DoNotOptimize(ParseTree(text.c_str(), "m", 5, tree.entries, &msg));
        std::free(msg);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

void BM_ParseTreeClean(benchmark::State &state) {
    read_string(state, repeat_inside_root(" (d 2.5e-3) (i 0x2a) (t \"some (quoted) text\")\n"
                                          " (da 1 2.5 -3) (c q) (unknown (x 1) (y 2))"));
}
BENCHMARK(BM_ParseTreeClean)->Unit(benchmark::kMillisecond);

// Every close parenthesis is one too many, every quote is stray.
void BM_ParseTreeCloseParensAndQuotes(benchmark::State &state) {
    std::string text;
    while (text.size() < kLength) {
        text += ")\"";
    }
    read_string(state, text);
}
BENCHMARK(BM_ParseTreeCloseParensAndQuotes)->Unit(benchmark::kMillisecond);

// Every word after the first is an extra value for a scalar: two reports each.
void BM_ParseTreeExtraValues(benchmark::State &state) {
    std::string list = " (i 1";
    for (int k = 0; k < 500; ++k) {
        list += " x";
    }
    read_string(state, repeat_inside_root(list + ")"));
}
BENCHMARK(BM_ParseTreeExtraValues)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
