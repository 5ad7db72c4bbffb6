// The grammar of parameter strings: a list is "(" name values... ")", and a
// value may itself be a list of lists, which enters a branch level. The state
// says what may come next; anything else is reported and the state kept, so
// reading always goes on.
#include "IBIS_AMI_tree.h"
#include "tree/message_buffer.h"

namespace {

constexpr int32_t kMaxDepth = 15;

constexpr char kTextWhenListExpected[] =
    "**Error** Text encountered in parameter string when '(' or ')' was expected.\n";
constexpr char kTooManyCloseParens[] = "**Error** Too many close parens in parameter string.\n";
constexpr char kOpenWhenNameExpected[] =
    "**Error** '(' encountered in parameter string when text was expected.\n";
constexpr char kCloseWhenNameExpected[] =
    "**Error** ')' encountered in parameter string when text was expected.\n";
constexpr char kNestedTooDeeply[] = "**Error** Parameter string nested too deeply.\n";
constexpr char kCloseWhenValueExpected[] =
    "**Error** ')' encountered in parameter string when '(' or text was expected.\n";
constexpr char kOpenWhenCloseExpected[] =
    "**Error** '(' encountered in parameter string when ')' was expected.\n";

void report(char *buffer, uint32_t size, const char *message) {
    ami::append_whole(buffer, size, {message});
}

}  // namespace

ParserState AmiParser(TokenKind kind, ParserState state, const int32_t *token_complete,
                      int32_t *depth, char *buffer, uint32_t size) {
    if (*token_complete != 1 || kind == TOKEN_SPACE) {
        return state;
    }
    switch (state) {
        case EXPECT_LIST:
            if (kind == TOKEN_OPEN) {
                return EXPECT_NAME;
            }
            if (kind == TOKEN_TEXT) {
                report(buffer, size, kTextWhenListExpected);
            } else if (kind == TOKEN_CLOSE) {
                // Closes a list whose last item was a list: leave its level.
                if (*depth <= 0) {
                    report(buffer, size, kTooManyCloseParens);
                } else {
                    --*depth;
                }
            }
            return EXPECT_LIST;
        case EXPECT_NAME:
            if (kind == TOKEN_TEXT) {
                return EXPECT_VALUE;
            }
            if (kind == TOKEN_OPEN) {
                report(buffer, size, kOpenWhenNameExpected);
            } else if (kind == TOKEN_CLOSE) {
                report(buffer, size, kCloseWhenNameExpected);
            }
            return EXPECT_NAME;
        case EXPECT_VALUE:
            if (kind == TOKEN_OPEN) {
                // The name's value is a list of lists: one level deeper,
                // unless the limit is reached (then the list is still read,
                // at the same level).
                if (*depth >= kMaxDepth) {
                    report(buffer, size, kNestedTooDeeply);
                } else {
                    ++*depth;
                }
                return EXPECT_NAME;
            }
            if (kind == TOKEN_TEXT) {
                return AFTER_VALUE;
            }
            if (kind == TOKEN_CLOSE) {
                report(buffer, size, kCloseWhenValueExpected);
            }
            return EXPECT_VALUE;
        case AFTER_VALUE:
            if (kind == TOKEN_CLOSE) {
                return EXPECT_LIST;
            }
            if (kind == TOKEN_OPEN) {
                report(buffer, size, kOpenWhenCloseExpected);
            }
            return AFTER_VALUE;
        default:
            return state;
    }
}
