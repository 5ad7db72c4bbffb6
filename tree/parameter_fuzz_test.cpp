// Random parameter strings, rich in parentheses, quotes, blanks, numbers and
// known names, read into a tree of every type and given to AMI_Init. The
// sanitizer build runs these too.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tree/sample_tree_test_support.h"

namespace {

std::string random_parameter_string(std::mt19937 &random) {
    // clang-format off
    static const std::vector<std::string> pieces{
        "(", "(", "(", ")", ")", ")", " ", " ", "\"", "\"", "\t", "\n", "\v", "a", "1", "-", ".",
        "0x1f", "2.5", "010", "70000", "4294967297", "1e999", "-1", "Format", "m", "d", "l", "i",
        "s", "c", "da", "la", "ia", "sa", "t", "b", "x", "deep", "y", "TX_Corner", "TX_Preemph",
        "Halvorin_7314_Tx", "\xe9"};
    // clang-format on
    static const std::vector<std::string> heads{"(m ", "(Halvorin_7314_Tx ", ""};
    std::string text = heads[random() % heads.size()];
    const std::size_t count = random() % 60;
    for (std::size_t k = 0; k < count; ++k) {
        text += pieces[random() % pieces.size()];
    }
    return text;
}

// Takes the known message at msg[pos] and advances pos past it; quote
// warnings must quote a true rest of the input, later than the last one.
bool take_known_message(const std::string &msg, std::size_t &pos, const std::string &input,
                        std::size_t &last_quote) {
    static const std::vector<std::string> grammar{
        "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n",
        "**Error** Too many close parens in parameter string.\n\n",
        "**Error** '(' encountered in parameter string when text was expected.\n\n",
        "**Error** ')' encountered in parameter string when text was expected.\n\n",
        "**Error** Parameter string nested too deeply.\n\n",
        "**Error** ')' encountered in parameter string when '(' or text was expected.\n\n",
        "**Error** '(' encountered in parameter string when ')' was expected.\n\n"};
    static const std::vector<std::string> names{
        "m",  "d", "l", "i", "s",    "c", "da",        "la",         "ia",
        "sa", "t", "b", "x", "deep", "y", "TX_Corner", "TX_Preemph", "Halvorin_7314_Tx"};
    auto take = [&](const std::string &text) {
        if (msg.compare(pos, text.size(), text) != 0) {
            return false;
        }
        pos += text.size();
        return true;
    };
    for (const std::string &text : grammar) {
        if (take(text)) {
            return true;
        }
    }
    for (const std::string &name : names) {
        if (take("**Error** Could not convert value for " + name + ".\n") ||
            (take("**Warning** Extra white space and text encountered in value for " + name +
                  ".\n") &&
             take("**Error** Could not convert value for " + name + ".\n")) ||
            take("**Error** '(' encountered in parameter string when value for " + name +
                 " was expected.\n")) {
            return true;
        }
    }
    for (std::size_t q = input.find('"', last_quote); q != std::string::npos;
         q = input.find('"', q + 1)) {
        if (input.size() - q <= 206 &&
            take("**Warning** Ignoring unexpected quote found at " + input.substr(q) + ".\n\n")) {
            last_quote = q + 1;
            return true;
        }
    }
    return false;
}

void expect_known_messages(const std::string &msg, const std::string &input) {
    std::size_t pos = 0;
    std::size_t last_quote = 0;
    while (pos < msg.size()) {
        ASSERT_TRUE(take_known_message(msg, pos, input, last_quote))
            << "unexpected message at " << pos << ": " << msg.substr(pos);
    }
}

TEST(ParameterFuzz, TreeOfEveryTypeTakesAnyString) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 20000; ++round) {
        const std::string text = random_parameter_string(random);
        SCOPED_TRACE(text);
        SampleTree tree;
        std::string msg;
        const int32_t count = tree.parse(text, &msg);
        EXPECT_GE(count, 0);
        EXPECT_LE(static_cast<std::size_t>(count), text.size());
        if (msg != "<null>") {
            expect_known_messages(msg, text);
        }
        EXPECT_EQ(tree.echo().compare(0, 2, "(m"), 0);
        if (HasFatalFailure()) {
            return;
        }
    }
}

// AMI_Init says what the reader said, then the Info line with its count,
// then the warnings of validation.
TEST(ParameterFuzz, AmiInitReportsWhatTheReaderFound) {
    std::mt19937 random(7314);
    for (int round = 0; round < 5000; ++round) {
        std::string text = random_parameter_string(random);
        SCOPED_TRACE(text);
        Param expected[2] = {{"TX_Corner", PARAM_INT, {}}, {"TX_Preemph", PARAM_INT, {}}};
        char *reader_msg = nullptr;
        const int32_t count = ParseTree(text.c_str(), "Halvorin_7314_Tx", 2, expected, &reader_msg);
        std::string msg = text_or_null(reader_msg);
        std::free(reader_msg);
        if (msg == "<null>") {
            msg.clear();
        }
        msg +=
            "**Info** Configured " + std::to_string(count) + " items through parameter string.\n";
        int32_t &corner = expected[0].value.as_int;
        int32_t &preemph = expected[1].value.as_int;
        if (corner < -1 || corner > 1) {
            corner = 0;
            msg += "**Warning** Invalid TX_Corner\n\n";
        }
        if (preemph != 0 && preemph != 1) {
            preemph = 0;
            msg += "**Warning** Invalid TX_Preemph\n\n";
        }

        char *params_out = nullptr;
        char *actual_msg = nullptr;
        void *memory = nullptr;
        ASSERT_EQ(
            AMI_Init(nullptr, 0, 0, 1e-12, 1e-10, &text[0], &params_out, &memory, &actual_msg), 1);
        EXPECT_EQ(text_or_null(actual_msg), msg);
        EXPECT_EQ(text_or_null(params_out), "(Halvorin_7314_Tx(TX_Corner " +
                                                std::to_string(corner) + ")(TX_Preemph " +
                                                std::to_string(preemph) + "))");
        AMI_Close(memory);
    }
}

}  // namespace
