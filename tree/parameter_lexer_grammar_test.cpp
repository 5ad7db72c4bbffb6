// The two state machines of the parameter-string reader, character by
// character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "IBIS_AMI_tree.h"

namespace {

struct Step {
    int kind, complete, state, depth;
    bool operator==(const Step &o) const {
        return kind == o.kind && complete == o.complete && state == o.state && depth == o.depth;
    }
};

// Runs lexer and grammar over text the way the tree filler does, emptying the
// message buffer after every call into messages.
struct Reading {
    std::vector<Step> steps;
    std::vector<AmiToken> tokens;  // the token after each character
    std::string messages;
};

Reading run(const std::string &text, int32_t strict_quotes = 1) {
    Reading r;
    char buffer[257] = {};
    TokenKind kind = TOKEN_SPACE;
    ParserState state = EXPECT_LIST;
    AmiToken token{nullptr, 0};
    int32_t in_quote = 0, complete = 0, depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        kind = AmiLexerNew(text.c_str() + i, kind, state, &token, &in_quote, &complete, buffer, 256,
                           strict_quotes);
        state = AmiParser(kind, state, &complete, &depth, buffer, 256);
        r.steps.push_back({kind, complete, state, depth});
        r.tokens.push_back(token);
        r.messages += buffer;
        std::memset(buffer, 0, sizeof buffer);
    }
    return r;
}

std::string token_text(const AmiToken &t) {
    return std::string(t.start, static_cast<std::size_t>(t.length));
}

const std::string kT1 =
    "**Error** Text encountered in parameter string when '(' or ')' was expected.\n";
const std::string kT2 = "**Error** Too many close parens in parameter string.\n";
const std::string kT3 = "**Error** '(' encountered in parameter string when text was expected.\n";
const std::string kT4 = "**Error** ')' encountered in parameter string when text was expected.\n";
const std::string kT5 = "**Error** Parameter string nested too deeply.\n";
const std::string kT6 =
    "**Error** ')' encountered in parameter string when '(' or text was expected.\n";
const std::string kT7 = "**Error** '(' encountered in parameter string when ')' was expected.\n";

std::string quote_warning(const std::string &rest) {
    return "**Warning** Ignoring unexpected quote found at " + rest + ".\n";
}

TEST(AmiLexer, SimpleListStepByStep) {
    const Reading r = run("(a 1)");
    const std::vector<Step> expected{
        {0, 1, 1, 0}, {1, 1, 2, 0}, {2, 0, 2, 0}, {1, 1, 3, 0}, {3, 1, 0, 0}};
    EXPECT_EQ(r.steps, expected);
    EXPECT_EQ(r.messages, "");
}

TEST(AmiLexer, ClassifiesEveryByte) {
    for (int c = 1; c < 256; ++c) {
        const char text[] = {static_cast<char>(c), '\0'};
        AmiToken token{nullptr, 0};
        int32_t in_quote = 0, complete = -1;
        char buffer[257] = {};
        const TokenKind kind =
            AmiLexer(text, TOKEN_CLOSE, EXPECT_LIST, &token, &in_quote, &complete, buffer, 256);
        SCOPED_TRACE(c);
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
            EXPECT_EQ(kind, TOKEN_SPACE);
            EXPECT_EQ(complete, 0);
        } else if (c == '(' || c == ')') {
            EXPECT_EQ(kind, c == '(' ? TOKEN_OPEN : TOKEN_CLOSE);
            EXPECT_EQ(complete, 1);
        } else if (c == '"') {
            EXPECT_EQ(kind, TOKEN_CLOSE);  // the previous kind; ignored with a warning
            EXPECT_EQ(std::string(buffer), quote_warning("\""));
        } else {  // vertical tab, form feed, controls and bytes above 127 are text
            EXPECT_EQ(kind, TOKEN_TEXT);
            EXPECT_EQ(complete, 1);  // followed by the NUL
            EXPECT_EQ(token.start, text);
            EXPECT_EQ(token.length, 1);
        }
    }
}

TEST(AmiLexer, TextTokenEndsOnlyBeforeTheEndSet) {
    for (int next = 0; next < 256; ++next) {
        const char text[] = {'a', static_cast<char>(next), '\0'};
        AmiToken token{nullptr, 0};
        int32_t in_quote = 0, complete = -1;
        AmiLexer(text, TOKEN_SPACE, EXPECT_VALUE, &token, &in_quote, &complete, nullptr, 0);
        const bool ends = std::strchr("\t\n\r \"()", next) != nullptr;  // NUL included
        EXPECT_EQ(complete, ends ? 1 : 0) << next;
    }
}

TEST(AmiLexer, TokensAreViewsIntoTheString) {
    const std::string text = "(ab \v1\f)";
    const Reading r = run(text);
    EXPECT_EQ(token_text(r.tokens[2]), "ab");
    EXPECT_EQ(token_text(r.tokens[6]), "\v1\f");
    EXPECT_EQ(r.tokens[6].start, r.tokens[4].start);
}

TEST(AmiLexer, QuotedValueIsOneTokenWithBlanksAndParentheses) {
    const std::string text = "(a \"x (y) z\"\t\"\")";
    const Reading r = run(text);
    const std::size_t closing = text.find('"', 4);
    EXPECT_EQ(r.steps[closing].kind, TOKEN_TEXT);
    EXPECT_EQ(r.steps[closing].complete, 1);
    EXPECT_EQ(token_text(r.tokens[closing]), "x (y) z");
    // The empty quoted text after the tab hands on white space: no token.
    EXPECT_EQ(r.steps[text.size() - 2].kind, TOKEN_SPACE);
    EXPECT_EQ(r.steps.back().state, EXPECT_LIST);
    EXPECT_EQ(r.messages, "");
}

TEST(AmiLexer, EmptyQuotedValueLeavesTheValueMissing) {
    const Reading r = run("(a \"\")))");
    EXPECT_EQ(r.messages, kT6 + kT6 + kT6);
    EXPECT_EQ(r.steps.back().state, EXPECT_VALUE);
}

TEST(AmiLexer, QuoteOpensTextOnlyWhereTheRuleAllows) {
    // previous kind x state; which combinations open a quoted text.
    const std::vector<std::pair<int, int>> strict{{2, 2}, {2, 3}};
    const std::vector<std::pair<int, int>> lax{{0, 1}, {0, 2}, {0, 3}, {2, 1}, {2, 2}, {2, 3}};
    for (int strict_quotes : {1, 0, 7}) {
        const auto &opening = strict_quotes == 0 ? lax : strict;
        for (int previous = 0; previous < 4; ++previous) {
            for (int state = 0; state < 4; ++state) {
                const char text[] = "\"rest";
                AmiToken token{nullptr, 0};
                int32_t in_quote = 0, complete = -1;
                char buffer[257] = {};
                const TokenKind kind = AmiLexerNew(
                    text, static_cast<TokenKind>(previous), static_cast<ParserState>(state), &token,
                    &in_quote, &complete, buffer, 256, strict_quotes);
                const bool opens = std::find(opening.begin(), opening.end(),
                                             std::make_pair(previous, state)) != opening.end();
                SCOPED_TRACE(std::to_string(strict_quotes) + " " + std::to_string(previous) + " " +
                             std::to_string(state));
                EXPECT_EQ(kind, previous);
                EXPECT_EQ(complete, 0);
                EXPECT_EQ(in_quote, opens ? 1 : 0);
                EXPECT_EQ(std::string(buffer), opens ? "" : quote_warning("\"rest"));
            }
        }
    }
}

TEST(AmiLexer, StrayQuotesAreIgnoredWithAWarning) {
    // After an open parenthesis, inside a word, in name position, outside lists.
    EXPECT_EQ(run("(\"a 1)").messages, quote_warning("\"a 1)"));
    EXPECT_EQ(run("(a b\"c)").messages, quote_warning("\"c)"));
    EXPECT_EQ(run("( \"a 1)").messages, quote_warning("\"a 1)"));
    EXPECT_EQ(run("\"").messages, quote_warning("\""));
    // Without strict quotes a name may be quoted, right after the parenthesis.
    const std::string quoted_name = "(\"a b\" 1)";
    const Reading lax = run(quoted_name, 0);
    EXPECT_EQ(lax.messages, "");
    EXPECT_EQ(token_text(lax.tokens[5]), "a b");
}

// AmiLexer is the lexer with strict quotes: a quote right after an open
// parenthesis (a quoted name) is ignored with the warning.
TEST(AmiLexer, QuotesStrictly) {
    const std::string text = "\"a b\" 1)";
    char buffer[257] = {};
    AmiToken token{nullptr, 0};
    int32_t in_quote = 0, complete = 0;
    EXPECT_EQ(
        AmiLexer(text.c_str(), TOKEN_OPEN, EXPECT_NAME, &token, &in_quote, &complete, buffer, 256),
        TOKEN_OPEN);
    EXPECT_EQ(in_quote, 0);
    EXPECT_EQ(std::string(buffer), quote_warning(text));
}

TEST(AmiLexer, QuoteWarningQuotesTheRestWhenItFits) {
    // 49 characters of warning around the rest: 206 characters fit 256 bytes.
    const std::string fits = "\"" + std::string(205, 'r');
    EXPECT_EQ(run(fits).messages, quote_warning(fits) + kT1);  // then the stray text
    EXPECT_EQ(run(fits + "r").messages, kT1);
    // Room is counted from what the buffer already holds.
    char buffer[257] = "held";
    AmiToken token{nullptr, 0};
    int32_t in_quote = 0, complete = 0;
    const std::string rest = "\"" + std::string(201, 'r');
    AmiLexer(rest.c_str(), TOKEN_TEXT, EXPECT_NAME, &token, &in_quote, &complete, buffer, 256);
    EXPECT_EQ(std::string(buffer), "held" + quote_warning(rest));
    AmiLexer(rest.c_str(), TOKEN_TEXT, EXPECT_NAME, &token, &in_quote, &complete, buffer, 256);
    EXPECT_EQ(std::string(buffer), "held" + quote_warning(rest));
}

TEST(AmiLexer, FormatInNamePositionIsSkipped) {
    Reading r = run("(Format a 1)");
    EXPECT_EQ(r.steps[6].complete, 0);
    EXPECT_EQ(r.steps[6].state, EXPECT_NAME);
    EXPECT_EQ(r.steps[8].state, EXPECT_VALUE);
    EXPECT_EQ(r.steps.back().state, EXPECT_LIST);
    for (const char *name : {"(Formats a 1)", "(format a 1)", "(Forma a 1)", "(Formal a 1)"}) {
        r = run(name);
        EXPECT_EQ(r.messages, "") << name;
        EXPECT_EQ(r.steps[9].state, AFTER_VALUE) << name;  // a is a value
    }
    r = run("(a Format)");  // an ordinary value
    EXPECT_EQ(r.steps[8].complete, 1);
    EXPECT_EQ(r.steps[8].state, AFTER_VALUE);
}

struct Transition {
    ParserState state;
    TokenKind kind;
    int32_t depth;
    ParserState next;
    int32_t next_depth;
    std::string message;
};

TEST(AmiParser, TransitionTable) {
    const std::vector<Transition> table{
        {EXPECT_LIST, TOKEN_OPEN, 0, EXPECT_NAME, 0, ""},
        {EXPECT_LIST, TOKEN_TEXT, 0, EXPECT_LIST, 0, kT1},
        {EXPECT_LIST, TOKEN_CLOSE, 0, EXPECT_LIST, 0, kT2},
        {EXPECT_LIST, TOKEN_CLOSE, -2, EXPECT_LIST, -2, kT2},
        {EXPECT_LIST, TOKEN_CLOSE, 3, EXPECT_LIST, 2, ""},
        {EXPECT_NAME, TOKEN_OPEN, 0, EXPECT_NAME, 0, kT3},
        {EXPECT_NAME, TOKEN_TEXT, 0, EXPECT_VALUE, 0, ""},
        {EXPECT_NAME, TOKEN_CLOSE, 0, EXPECT_NAME, 0, kT4},
        {EXPECT_VALUE, TOKEN_OPEN, 14, EXPECT_NAME, 15, ""},
        {EXPECT_VALUE, TOKEN_OPEN, 15, EXPECT_NAME, 15, kT5},
        {EXPECT_VALUE, TOKEN_TEXT, 0, AFTER_VALUE, 0, ""},
        {EXPECT_VALUE, TOKEN_CLOSE, 0, EXPECT_VALUE, 0, kT6},
        {AFTER_VALUE, TOKEN_OPEN, 0, AFTER_VALUE, 0, kT7},
        {AFTER_VALUE, TOKEN_TEXT, 0, AFTER_VALUE, 0, ""},
        {AFTER_VALUE, TOKEN_CLOSE, 1, EXPECT_LIST, 1, ""},
        {static_cast<ParserState>(4), TOKEN_CLOSE, 0, static_cast<ParserState>(4), 0, ""},
        {static_cast<ParserState>(-1), TOKEN_OPEN, 0, static_cast<ParserState>(-1), 0, ""},
    };
    for (const Transition &t : table) {
        SCOPED_TRACE(std::to_string(t.state) + " " + std::to_string(t.kind));
        for (int32_t complete : {1, 0, 2}) {
            char buffer[257] = {};
            int32_t depth = t.depth;
            const ParserState next = AmiParser(t.kind, t.state, &complete, &depth, buffer, 256);
            EXPECT_EQ(next, complete == 1 ? t.next : t.state);
            EXPECT_EQ(depth, complete == 1 ? t.next_depth : t.depth);
            EXPECT_EQ(std::string(buffer), complete == 1 ? t.message : "");
        }
        // White space never changes anything.
        int32_t complete = 1;
        int32_t depth = t.depth;
        EXPECT_EQ(AmiParser(TOKEN_SPACE, t.state, &complete, &depth, nullptr, 0), t.state);
        EXPECT_EQ(depth, t.depth);
    }
}

TEST(AmiParser, MessageIsAppendedOnlyWhenItFits) {
    for (std::size_t held : {202u, 203u}) {
        char buffer[257] = {};
        std::memset(buffer, 'x', held);
        int32_t complete = 1, depth = 0;
        EXPECT_EQ(AmiParser(TOKEN_CLOSE, EXPECT_LIST, &complete, &depth, buffer, 256), EXPECT_LIST);
        EXPECT_EQ(std::string(buffer), std::string(held, 'x') + (held == 202 ? kT2 : ""));
    }
}

std::string nested(int levels) {
    std::string text = "(n0";
    for (int i = 1; i <= levels; ++i) {
        text += " (n" + std::to_string(i);
    }
    return text + " v" + std::string(static_cast<std::size_t>(levels) + 1, ')');
}

TEST(AmiParser, FifteenLevelsNestInsideTheOutermostList) {
    Reading r = run(nested(15));
    EXPECT_EQ(r.messages, "");
    int deepest = 0;
    for (const Step &s : r.steps) {
        deepest = std::max(deepest, s.depth);
    }
    EXPECT_EQ(deepest, 15);
    EXPECT_EQ(r.steps.back().depth, 0);
    r = run(nested(16));
    EXPECT_EQ(r.messages, kT5 + kT2);
    EXPECT_EQ(r.steps.back().depth, 0);
}

TEST(AmiParser, SiblingListsStayOnOneLevel) {
    const std::string text = "(r (a 1) (b 2))";
    const Reading r = run(text);
    EXPECT_EQ(r.steps[3].depth, 1);
    EXPECT_EQ(r.steps[text.find('b') - 1].depth, 1);
    EXPECT_EQ(r.steps[text.size() - 2].depth, 1);
    EXPECT_EQ(r.steps.back().depth, 0);
    EXPECT_EQ(r.messages, "");
    EXPECT_EQ(run(")").messages, kT2);
    EXPECT_EQ(run("x").messages, kT1);
}

}  // namespace
