#include "tools/amisim/models/parameter_lists.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "IBIS_AMI_tree.h"

namespace amisim {

const ParameterList *ParameterList::child(const std::string &wanted) const {
    for (const auto &c : children) {
        if (c->name == wanted) {
            return c.get();
        }
    }
    return nullptr;
}

std::unique_ptr<ParameterList> read_parameter_lists(const std::string &text, std::string &error) {
    auto root = std::make_unique<ParameterList>();
    std::vector<ParameterList *> open{root.get()};
    TokenKind kind = TOKEN_SPACE;
    ParserState state = EXPECT_LIST;
    AmiToken token{nullptr, 0};
    int32_t in_quote = 0;
    int32_t complete = 0;
    int32_t depth = 0;
    char messages[513] = {};
    for (const char &c : text) {
        const ParserState before = state;
        kind = AmiLexer(&c, kind, state, &token, &in_quote, &complete, messages, 512);
        state = AmiParser(kind, state, &complete, &depth, messages, 512);
        if (complete != 1) {
            continue;
        }
        if (kind == TOKEN_TEXT) {
            const std::string word(token.start, static_cast<std::size_t>(token.length));
            if (before == EXPECT_NAME) {
                open.back()->children.push_back(std::make_unique<ParameterList>());
                open.push_back(open.back()->children.back().get());
                open.back()->name = word;
            } else if (before == EXPECT_VALUE || before == AFTER_VALUE) {
                open.back()->values.push_back(word);
            }
        } else if (kind == TOKEN_CLOSE && open.size() > 1) {
            open.pop_back();
        }
    }
    error = messages;
    if (error.empty() && (open.size() != 1 || in_quote != 0)) {
        error = "the lists are not closed";
    }
    return root;
}

bool parameter_number(const std::string &word, double &value) {
    const char *begin = word.data();
    const char *end = begin + word.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [stop, problem] = std::from_chars(begin, end, value);
    return problem == std::errc() && stop == end && std::isfinite(value);
}

}  // namespace amisim
