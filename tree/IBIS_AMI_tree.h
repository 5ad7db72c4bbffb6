/*
 * IBIS_AMI_tree: the typed tree of named model parameters, its printing as an
 * IBIS-AMI parameter string, its release, and the two message facilities
 * (the heap message string and the fixed-size message buffer).
 *
 * Ownership: the model that builds a tree owns its structure (names, entries
 * arrays, sub-branch and ParamArray records). The tree owns the values that
 * are created or grown while reading a parameter string: the texts of
 * PARAM_STRING entries and the items of array entries. Those are malloc'd
 * blocks released by FreeTree, so defaults given to such entries must be
 * malloc'd too (or null with zero items).
 */
#ifndef IBIS_AMI_TREE_H
#define IBIS_AMI_TREE_H

#include <stdint.h>

/* Linkage of the library's public interface: C names, default visibility.
 * Everything not marked AMI_API stays hidden inside the shared object. The
 * other public headers of the library take these from here. */
#ifndef AMI_API_LINKAGE
#define AMI_API_LINKAGE

#if defined(__GNUC__)
#define AMI_API __attribute__((visibility("default")))
#else
#define AMI_API
#endif

#ifdef __cplusplus
#define AMI_EXTERN_C_BEGIN extern "C" {
#define AMI_EXTERN_C_END }
#else
#define AMI_EXTERN_C_BEGIN
#define AMI_EXTERN_C_END
#endif

/* Enumerations that carry 32-bit codes across the interface. C++ gets the
 * fixed underlying type, so codes outside the enumerators (which C callers
 * may store) remain valid values there as well. */
#ifdef __cplusplus
#define AMI_CODE_ENUM(name) enum name : int32_t
#else
#define AMI_CODE_ENUM(name) enum name
#endif

#endif /* AMI_API_LINKAGE */

AMI_EXTERN_C_BEGIN

/* Type code of a tree entry. Codes are compared as unsigned 32-bit numbers:
 * anything above PARAM_BRANCH, negative codes included, is outside the set. */
/* clang-format off */
typedef AMI_CODE_ENUM(ParamType) {
    PARAM_DOUBLE = 0,
    PARAM_LONG = 1,
    PARAM_INT = 2,
    PARAM_SHORT = 3,
    PARAM_CHAR = 4,
    PARAM_DOUBLE_ARRAY = 5,
    PARAM_LONG_ARRAY = 6,
    PARAM_INT_ARRAY = 7,
    PARAM_SHORT_ARRAY = 8,
    PARAM_STRING = 9,
    PARAM_BRANCH = 10
} ParamType;
/* clang-format on */

struct ParamArray;
struct ParamBranch;

/* The 8-byte value of an entry; the member named by the entry's type code is
 * the one in use. Every member starts at the first byte. */
typedef union ParamValue {
    double as_double;           /* PARAM_DOUBLE */
    long as_long;               /* PARAM_LONG */
    int32_t as_int;             /* PARAM_INT */
    int16_t as_short;           /* PARAM_SHORT */
    char as_char;               /* PARAM_CHAR */
    char *text;                 /* PARAM_STRING: malloc'd, NUL-terminated, or null */
    struct ParamArray *array;   /* PARAM_*_ARRAY */
    struct ParamBranch *branch; /* PARAM_BRANCH */
    uint64_t bits;              /* all eight bytes */
} ParamValue;

/* One entry of a branch. */
typedef struct Param {
    const char *name; /* matched exactly; never freed by the tree */
    ParamType type;
    ParamValue value;
} Param;

/* A named list of entries; count <= 0 means no entries. */
typedef struct ParamBranch {
    const char *name;
    int32_t count;
    Param *entries;
} ParamBranch;

/* The value of an array entry. */
typedef struct ParamArray {
    ParamType type; /* element type, PARAM_DOUBLE_ARRAY ... PARAM_SHORT_ARRAY */
    int32_t count;  /* elements, never negative */
    void *items;    /* malloc'd array of count elements, null when count is 0 */
} ParamArray;

/* Returns text followed by addition. Either may be null. When both are given
 * the result is a new block and text is freed; the caller replaces its
 * pointer with the result in every case. addition is only read. */
AMI_API char *string_cat(char *text, const char *addition);

/* Append "**Warning** " / "**Error** " and text to the NUL-terminated message
 * buffer when the whole result fits in size bytes; otherwise drop it. */
AMI_API void WarnPrt(char *buffer, uint32_t size, const char *text);
AMI_API void ErrPrt(char *buffer, uint32_t size, const char *text);

/* Prints a branch as an IBIS-AMI parameter string, e.g. (root(a 1)(b "x")).
 * Returns a malloc'd text owned by the caller. */
AMI_API char *GrowTree(const char *name, int32_t count, Param *entries);

/* Prints one array entry as (name e1 e2 ...). Returns a malloc'd text, or
 * null when count is 0. An element type outside 5..8 aborts the process. */
AMI_API char *print_array(const char *name, ParamType type, int32_t count, void *items);

/* Frees the values the tree owns (texts, array items), recursively through
 * sub-branches. The structure itself is left to its builder. */
AMI_API void FreeTree(const char *name, int32_t count, Param *entries);

/* Writes text to "kestrom_echo_param.txt" in the current directory. */
AMI_API void EchoTree(const char *text);

/* ---- Reading a parameter string ------------------------------------------
 * The reader looks at the string one character at a time: the lexer says
 * what the character is and whether a text token has just ended, then the
 * grammar tracks where in the list structure the reader stands. All their
 * state belongs to the caller: previous kind TOKEN_SPACE, token empty, flags
 * 0, state EXPECT_LIST and depth 0 at the start of a string. Both append
 * their messages to a message buffer whole or not at all, and never stop. */

/* What the lexer found at a character. */
/* clang-format off */
typedef AMI_CODE_ENUM(TokenKind) {
    TOKEN_OPEN = 0,  /* ( */
    TOKEN_TEXT = 1,  /* a character of a name or a value */
    TOKEN_SPACE = 2, /* tab, line feed, carriage return, blank */
    TOKEN_CLOSE = 3  /* ) */
} TokenKind;
/* clang-format on */

/* The current text token: a view into the caller's parameter string, neither
 * copied nor NUL-terminated. */
typedef struct AmiToken {
    const char *start;
    int32_t length;
} AmiToken;

/* Where the grammar stands. */
/* clang-format off */
typedef AMI_CODE_ENUM(ParserState) {
    EXPECT_LIST = 0,  /* outside any list, or after a list closed */
    EXPECT_NAME = 1,  /* after an open parenthesis */
    EXPECT_VALUE = 2, /* after a name: a value or a sub-list */
    AFTER_VALUE = 3   /* after a value: more values or the close */
} ParserState;
/* clang-format on */

/* Classifies the character at position (never the terminating NUL; the
 * character after it is read too) and updates token, *in_quote and
 * *token_complete. previous is what the lexer returned for the previous
 * character, state the grammar's state before this one. With strict_quotes
 * a quoted text may only stand as a value after white space; without, names
 * may be quoted and a quote may follow an open parenthesis. Any other quote
 * is ignored with a warning that quotes the rest of the string. */
AMI_API TokenKind AmiLexerNew(const char *position, TokenKind previous, ParserState state,
                              AmiToken *token, int32_t *in_quote, int32_t *token_complete,
                              char *buffer, uint32_t size, int32_t strict_quotes);

/* AmiLexerNew with strict quotes. */
AMI_API TokenKind AmiLexer(const char *position, TokenKind previous, ParserState state,
                           AmiToken *token, int32_t *in_quote, int32_t *token_complete,
                           char *buffer, uint32_t size);

/* Returns the grammar's state after a character of the given kind. Reads
 * *token_complete without changing it; keeps *depth, the number of branch
 * levels entered, between 0 and 15. */
AMI_API ParserState AmiParser(TokenKind kind, ParserState state, const int32_t *token_complete,
                              int32_t *depth, char *buffer, uint32_t size);

/* Reads the NUL-terminated parameter string text into the branch given by
 * its three fields: the outermost list must be headed by name. Values are
 * stored into the entries in place, texts and array items being the tree's
 * own malloc'd blocks. *msg is set to null first and then receives the
 * reports of this reading (a malloc'd text), or stays null. Returns the
 * number of values stored. */
AMI_API int32_t ParseTree(const char *text, const char *name, int32_t count, Param *entries,
                          char **msg);

/* Appends one element to an array of element type PARAM_DOUBLE_ARRAY ...
 * PARAM_SHORT_ARRAY, scanning it from text on (length, the token's length,
 * is not needed: a number ends by itself). The array grows even when the
 * scan fails; the element is then 0. Returns the number of values converted,
 * 1 or 0. Any other element type aborts the process. */
AMI_API int32_t AddToArray(const char *text, int32_t length, ParamType type, ParamArray *array);

AMI_EXTERN_C_END

#endif /* IBIS_AMI_TREE_H */
