// The lexer of parameter strings: what one character is, and whether a text
// token has just ended. Outside quotes white space, parentheses and quotes
// separate tokens; a quoted value is one token with whatever it holds.
#include <cstring>

#include "IBIS_AMI_tree.h"
#include "tree/message_buffer.h"

namespace {

bool is_white_space(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// A text token ends before NUL, white space, a quote or a parenthesis.
bool ends_token(char next) {
    return next == '\0' || is_white_space(next) || next == '"' || next == '(' || next == ')';
}

// The current character belongs to the token: it either continues the token
// of the previous character or starts a new one here.
void take_text(const char *position, TokenKind previous, AmiToken *token) {
    if (previous == TOKEN_TEXT) {
        ++token->length;
    } else {
        token->start = position;
        token->length = 1;
    }
}

// In name position "Format" is a keyword of the IBIS-AMI syntax, not a name:
// it is not handed on, so the next word is taken as the name.
bool is_format_keyword(const AmiToken *token) {
    constexpr char kFormat[] = "Format";
    return token->length == 6 && std::memcmp(token->start, kFormat, 6) == 0;
}

bool quote_opens_text(TokenKind previous, ParserState state, int32_t strict_quotes) {
    if (strict_quotes != 0) {
        return previous == TOKEN_SPACE && (state == EXPECT_VALUE || state == AFTER_VALUE);
    }
    return (previous == TOKEN_OPEN || previous == TOKEN_SPACE) &&
           (state == EXPECT_NAME || state == EXPECT_VALUE || state == AFTER_VALUE);
}

}  // namespace

TokenKind AmiLexerNew(const char *position, TokenKind previous, ParserState state, AmiToken *token,
                      int32_t *in_quote, int32_t *token_complete, char *buffer, uint32_t size,
                      int32_t strict_quotes) {
    const char c = *position;
    if (*in_quote == 1) {
        if (c == '"') {
            *in_quote = 0;
            *token_complete = 1;
            return previous;
        }
        take_text(position, previous, token);
        *token_complete = 0;
        return TOKEN_TEXT;
    }
    if (is_white_space(c)) {
        *token_complete = 0;
        return TOKEN_SPACE;
    }
    if (c == '(') {
        *token_complete = 1;
        return TOKEN_OPEN;
    }
    if (c == ')') {
        *token_complete = 1;
        return TOKEN_CLOSE;
    }
    if (c == '"') {
        *token_complete = 0;
        if (quote_opens_text(previous, state, strict_quotes)) {
            *in_quote = 1;
        } else {
            // The rest of the string is quoted in full; append_whole measures
            // it only as far as the room left, so a long rest costs nothing.
            ami::append_whole(buffer, size,
                              {"**Warning** Ignoring unexpected quote found at ", position, ".\n"});
        }
        return previous;
    }
    take_text(position, previous, token);
    *token_complete =
        ends_token(position[1]) && !(state == EXPECT_NAME && is_format_keyword(token)) ? 1 : 0;
    return TOKEN_TEXT;
}

TokenKind AmiLexer(const char *position, TokenKind previous, ParserState state, AmiToken *token,
                   int32_t *in_quote, int32_t *token_complete, char *buffer, uint32_t size) {
    return AmiLexerNew(position, previous, state, token, in_quote, token_complete, buffer, size, 1);
}
