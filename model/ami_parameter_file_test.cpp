// The model's IBIS-AMI parameter file, read with the library's own reader:
// it declares exactly the parameters the model reads, with lists and
// defaults that the model accepts as they stand.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tests/support/heap_text.h"

namespace {

std::string parameter_file() {
    std::ifstream in(AMI_PARAMETER_FILE);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The description of one parameter: (NAME (Usage ..) (Type ..) (List ..)
// (Default ..) (Description ..)) or, for reserved ones, (Value ..) in place
// of the list and default.
struct Declaration {
    explicit Declaration(const char *parameter_name) : branch{parameter_name, 6, entries} {
        entries[0] = Param{"Usage", PARAM_STRING, {}};
        entries[1] = Param{"Type", PARAM_STRING, {}};
        entries[2] = Param{"List", PARAM_INT_ARRAY, {}};
        entries[2].value.array = &list;
        entries[3] = Param{"Default", PARAM_INT, {}};
        entries[3].value.as_int = -999;
        entries[4] = Param{"Value", PARAM_STRING, {}};
        entries[5] = Param{"Description", PARAM_STRING, {}};
    }
    std::string text(int i) const {
        return entries[i].value.text == nullptr ? "" : entries[i].value.text;
    }
    std::vector<int32_t> list_items() const {
        const auto *items = static_cast<const int32_t *>(list.items);
        return std::vector<int32_t>(items, items + list.count);
    }

    ParamArray list{PARAM_INT_ARRAY, 0, nullptr};
    Param entries[6];
    ParamBranch branch;
};

Param branch_entry(const char *name, ParamBranch *branch) {
    Param entry{name, PARAM_BRANCH, {}};
    entry.value.branch = branch;
    return entry;
}

// Names that stand directly inside the list headed by `parent`, found with
// the lexer and grammar as the reader drives them.
std::set<std::string> names_inside(const std::string &text, const std::string &parent) {
    std::set<std::string> names;
    TokenKind kind = TOKEN_SPACE;
    ParserState state = EXPECT_LIST;
    AmiToken token{nullptr, 0};
    int32_t in_quote = 0;
    int32_t complete = 0;
    int32_t depth = 0;
    int32_t parent_depth = -1;
    char scratch[257] = {};
    for (const char &c : text) {
        const ParserState before = state;
        kind = AmiLexer(&c, kind, state, &token, &in_quote, &complete, scratch, 256);
        state = AmiParser(kind, state, &complete, &depth, scratch, 256);
        if (complete == 1 && kind == TOKEN_TEXT && before == EXPECT_NAME) {
            const std::string name(token.start, static_cast<std::size_t>(token.length));
            if (name == parent) {
                parent_depth = depth;
            } else if (parent_depth >= 0 && depth == parent_depth + 1) {
                names.insert(name);
            } else if (depth <= parent_depth) {
                parent_depth = -1;
            }
        }
    }
    EXPECT_STREQ(scratch, "") << "the file does not read cleanly";
    return names;
}

TEST(ParameterFile, ReadsCleanlyAndDeclaresTheModelsParameters) {
    const std::string text = parameter_file();
    ASSERT_FALSE(text.empty()) << AMI_PARAMETER_FILE;

    Declaration corner("TX_Corner"), preemph("TX_Preemph");
    Declaration version("AMI_Version"), impulse("Init_Returns_Impulse"), getwave("GetWave_Exists");
    Param reserved_entries[] = {branch_entry("AMI_Version", &version.branch),
                                branch_entry("Init_Returns_Impulse", &impulse.branch),
                                branch_entry("GetWave_Exists", &getwave.branch)};
    ParamBranch reserved{"Reserved_Parameters", 3, reserved_entries};
    Param specific_entries[] = {branch_entry("TX_Corner", &corner.branch),
                                branch_entry("TX_Preemph", &preemph.branch)};
    ParamBranch specific{"Model_Specific", 2, specific_entries};
    Param root_entries[] = {Param{"Description", PARAM_STRING, {}},
                            branch_entry("Reserved_Parameters", &reserved),
                            branch_entry("Model_Specific", &specific)};

    char *msg = nullptr;
    const int32_t configured = ParseTree(text.c_str(), "Halvorin_7314_Tx", 3, root_entries, &msg);
    HeapText messages(msg);
    EXPECT_EQ(messages.get(), nullptr) << messages.get();
    // 1 description; 3 reserved x (usage, type, value, description);
    // TX_Corner 3 list items, TX_Preemph 2, each with usage, type, default, description.
    EXPECT_EQ(configured, 1 + 3 * 4 + (3 + 4) + (2 + 4));

    EXPECT_EQ(version.text(4), "7.1");
    EXPECT_EQ(impulse.text(4), "True");
    EXPECT_EQ(getwave.text(4), "True");
    for (const Declaration *reserved_parameter : {&version, &impulse, &getwave}) {
        EXPECT_EQ(reserved_parameter->text(0), "Info");
    }
    EXPECT_EQ(corner.text(0), "In");
    EXPECT_EQ(corner.text(1), "Integer");
    EXPECT_EQ(corner.list_items(), (std::vector<int32_t>{-1, 0, 1}));
    EXPECT_EQ(corner.entries[3].value.as_int, 0);
    EXPECT_EQ(preemph.text(0), "In");
    EXPECT_EQ(preemph.text(1), "Integer");
    EXPECT_EQ(preemph.list_items(), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(preemph.entries[3].value.as_int, 0);
    EXPECT_FALSE(corner.text(5).empty());
    EXPECT_FALSE(preemph.text(5).empty());

    // Exactly the parameters the model's own tree holds, under its root name.
    char *params_out = nullptr;
    char *init_msg = nullptr;
    void *memory = nullptr;
    ASSERT_EQ(AMI_Init(nullptr, 0, -1, 1e-12, 1e-10, nullptr, &params_out, &memory, &init_msg), 1);
    const AmiMemory &self = *static_cast<AmiMemory *>(memory);
    std::set<std::string> model_names;
    for (int32_t i = 0; i < self.params.count; ++i) {
        model_names.insert(self.params.entries[i].name);
    }
    EXPECT_EQ(names_inside(text, "Model_Specific"), model_names);
    EXPECT_EQ(names_inside(text, "Reserved_Parameters"),
              (std::set<std::string>{"AMI_Version", "Init_Returns_Impulse", "GetWave_Exists"}));
    EXPECT_EQ(text.substr(text.find('(') + 1, 16), self.params.name);
    AMI_Close(memory);

    // Every listed value is accepted as it stands, and the defaults are the
    // values the model starts from.
    for (int32_t c : corner.list_items()) {
        for (int32_t p : preemph.list_items()) {
            const std::string parameters = "(Halvorin_7314_Tx (TX_Corner " + std::to_string(c) +
                                           ") (TX_Preemph " + std::to_string(p) + "))";
            std::vector<char> input(parameters.begin(), parameters.end());
            input.push_back('\0');
            ASSERT_EQ(AMI_Init(nullptr, 0, -1, 1e-12, 1e-10, input.data(), &params_out, &memory,
                               &init_msg),
                      1);
            EXPECT_EQ(std::string(init_msg),
                      "**Info** Configured 2 items through parameter string.\n")
                << parameters;
            AMI_Close(memory);
        }
    }
    ASSERT_EQ(AMI_Init(nullptr, 0, -1, 1e-12, 1e-10, nullptr, &params_out, &memory, &init_msg), 1);
    EXPECT_EQ(std::string(params_out),
              "(Halvorin_7314_Tx(TX_Corner " + std::to_string(corner.entries[3].value.as_int) +
                  ")(TX_Preemph " + std::to_string(preemph.entries[3].value.as_int) + "))");
    AMI_Close(memory);
    FreeTree("Halvorin_7314_Tx", 3, root_entries);
}

}  // namespace
