#include "tree/number_scan.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ami {

namespace {

// White space as the scanners skip it in the C locale.
bool is_scanner_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char *skip_space(const char *text) {
    while (is_scanner_space(*text)) {
        ++text;
    }
    return text;
}

unsigned digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned>(c - 'a') + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned>(c - 'A') + 10;
    }
    return 36;
}

struct IntegerRange {
    std::int64_t min;
    std::int64_t max;
};

IntegerRange range_of(NumberKind kind) {
    switch (kind) {
        case NumberKind::Long:
            return {std::numeric_limits<long>::min(), std::numeric_limits<long>::max()};
        case NumberKind::Int:
            return {std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max()};
        default:
            return {std::numeric_limits<std::int16_t>::min(),
                    std::numeric_limits<std::int16_t>::max()};
    }
}

// "%i": sign, then "0x" and hexadecimal digits, "0" and octal digits, or
// decimal digits. "0x" without a hexadecimal digit reads as 0, as the
// scanner does; a sign or nothing at all does not convert.
ScannedNumber scan_integer(const char *text, NumberKind kind) {
    const char *p = skip_space(text);
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    unsigned base = 10;
    bool any_digit = false;
    if (*p == '0') {
        if (p[1] == 'x' || p[1] == 'X') {
            base = 16;
            p += 2;
            any_digit = true;
        } else {
            base = 8;
        }
    }
    const IntegerRange range = range_of(kind);
    // The largest magnitude the sign allows; anything beyond does not convert.
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(-(range.min + 1)) + 1
                                         : static_cast<std::uint64_t>(range.max);
    std::uint64_t magnitude = 0;
    bool too_large = false;
    for (unsigned d = digit_value(*p); d < base; d = digit_value(*++p)) {
        any_digit = true;
        if (magnitude > (limit - d) / base) {
            too_large = true;  // keep reading: the number still ends where it ends
        } else {
            magnitude = magnitude * base + d;
        }
    }
    ScannedNumber number;
    if (!any_digit || too_large) {
        return number;
    }
    number.converted = true;
    number.integer =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return number;
}

// The characters "%lf" can take after the leading white space: signs,
// digits, the decimal point, exponents, hexadecimal digits and the letters
// of inf, infinity and nan.
bool may_belong_to_double(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '+' || c == '-';
}

// "%lf" itself, run on a copy of the candidate characters from start and
// the one that ends them (if it comes before limit), so the scanner sees
// exactly what it would see in the whole text but never measures the rest.
// A null limit means the text's terminating NUL. Returns whether a value was
// converted.
bool scanf_double(const char *start, const char *limit, double *value) {
    const char *end = start;
    while (end != limit && may_belong_to_double(*end)) {
        ++end;
    }
    const bool ended_early = end != limit && *end != '\0';
    const std::size_t length = static_cast<std::size_t>(end - start) + (ended_early ? 1 : 0);
    char small[64];
    char *copy = small;
    if (length >= sizeof small) {
        copy = static_cast<char *>(std::malloc(length + 1));
        if (copy == nullptr) {
            return false;
        }
    }
    std::memcpy(copy, start, length);
    copy[length] = '\0';
    const bool converted = std::sscanf(copy, "%lf", value) == 1;
    if (copy != small) {
        std::free(copy);
    }
    return converted;
}

// A value too large for a double (1e999) is refused rather than taken as
// infinity; inf and infinity written out are taken.
ScannedNumber scan_double(const char *text) {
    ScannedNumber number;
    const char *start = skip_space(text);
    double value = 0.0;
    if (scanf_double(start, nullptr, &value)) {
        const char *sign_skipped = start + (start[0] == '+' || start[0] == '-' ? 1 : 0);
        const bool spelt_infinity = *sign_skipped == 'i' || *sign_skipped == 'I';
        if (!std::isinf(value) || spelt_infinity) {
            number.converted = true;
            number.real = value;
        }
    }
    return number;
}

}  // namespace

ScannedNumber scan_number(const char *text, NumberKind kind) {
    if (kind == NumberKind::Double) {
        return scan_double(text);
    }
    return scan_integer(text, kind);
}

ScannedNumber scan_double_in(const char *begin, const char *end) {
    const char *start = begin;
    while (start != end && is_scanner_space(*start)) {
        ++start;
    }
    ScannedNumber number;
    number.converted = scanf_double(start, end, &number.real);
    return number;
}

void store_number(const ScannedNumber &number, NumberKind kind, void *destination) {
    switch (kind) {
        case NumberKind::Double: {
            const double value = number.real;
            std::memcpy(destination, &value, sizeof value);
            break;
        }
        case NumberKind::Long: {
            const auto value = static_cast<long>(number.integer);
            std::memcpy(destination, &value, sizeof value);
            break;
        }
        case NumberKind::Int: {
            const auto value = static_cast<std::int32_t>(number.integer);
            std::memcpy(destination, &value, sizeof value);
            break;
        }
        case NumberKind::Short: {
            const auto value = static_cast<std::int16_t>(number.integer);
            std::memcpy(destination, &value, sizeof value);
            break;
        }
    }
}

}  // namespace ami
