// Reading numbers the way the standard formatted scanners read them ("%lf",
// "%li", "%i", "%hi"), from a text that may go on far beyond the number,
// without measuring that text and without undefined behaviour: a value that
// the destination type cannot hold is refused instead.
#ifndef AMI_TREE_NUMBER_SCAN_H
#define AMI_TREE_NUMBER_SCAN_H

#include <cstdint>

namespace ami {

enum class NumberKind { Double, Long, Int, Short };

struct ScannedNumber {
    bool converted = false;
    double real = 0.0;         // NumberKind::Double
    std::int64_t integer = 0;  // the integer kinds, within the kind's range
};

// Skips leading white space, then reads the longest number at the start of
// text; whatever follows it is ignored. Integers take an optional sign and
// decimal, 0x hexadecimal or 0 octal digits; doubles take everything "%lf"
// takes. Reads no further than one character past the number. Expects the
// C numeric locale.
ScannedNumber scan_number(const char *text, NumberKind kind);

// Reads a double from the characters begin .. end - 1 alone, exactly as
// "%lf" reads it from a string that holds only them: leading white space,
// then the longest number the scanner takes (decimal, hexadecimal, inf,
// infinity, nan), whatever follows ignored; a value beyond the range of a
// double gives an infinity, as "%lf" gives it. Reads nothing at or past
// end, and no further than one character past the number. Expects the C
// numeric locale. A number of 63 characters or more is copied to the heap
// first; if that copy cannot be had, nothing is converted.
ScannedNumber scan_double_in(const char *begin, const char *end);

// Stores a converted number into a value of the kind's width (8 bytes for
// Double, the width of long, 4 or 2 bytes), leaving any further bytes alone.
void store_number(const ScannedNumber &number, NumberKind kind, void *destination);

}  // namespace ami

#endif  // AMI_TREE_NUMBER_SCAN_H
