// Numbers as IBIS files write them: a decimal number with an optional
// exponent, an optional scaling letter (T G M k m u n p f; M is mega, m
// milli) and optional unit letters that carry no meaning ("5.0pF", "21mA").
#ifndef IBIS_NUMBERS_H
#define IBIS_NUMBERS_H

#include <optional>
#include <string>
#include <string_view>

namespace ibis {

// The value of a whole token, or nothing when the token is not a number.
std::optional<double> parse_number(std::string_view token);

// Five significant digits with the scaling letter that puts the mantissa in
// [1, 1000): 0.0211 gives "21.1m", -1.05 gives "-1.05", 2e-11 gives "20p".
// Zero is "0". Values below 1e-15 in magnitude are written in femto units.
std::string format_number(double value);

}  // namespace ibis

#endif  // IBIS_NUMBERS_H
