// Rounding a double to an int, and counting and reading textual lists of
// numbers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "Kestrom_AMI_Model.h"
#include "common/c_numeric_locale.h"
#include "tree/number_scan.h"

namespace {

constexpr int kDoublings = 30;     // the magnitude never exceeds 2^30 before the lower bits
constexpr int32_t kListCap = 512;  // values string2DoubleArray keeps

// Tab, line feed, carriage return, space, double quote and comma. Every
// other byte (vertical tab, form feed, bytes above 127) belongs to an entry.
bool is_separator(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '"' || c == ',';
}

// The end of the entry that starts at entry: its first separator or the NUL.
const char *entry_end(const char *entry) {
    while (*entry != '\0' && !is_separator(*entry)) {
        ++entry;
    }
    return entry;
}

}  // namespace

// The magnitude is built from powers of two by comparisons only, so no
// floating-point-to-integer conversion (undefined out of range) takes place.
int32_t d2i(double x) {
    if (x >= -0.5 && x < 0.5) {
        return 0;
    }
    const int32_t sign = x > 0 ? 1 : -1;
    const double target = x * sign + 0.5;
    int64_t magnitude = 1;
    for (int doubling = 0; doubling < kDoublings && static_cast<double>(2 * magnitude) <= target;
         ++doubling) {
        magnitude *= 2;
    }
    for (int64_t power = magnitude / 2; power >= 1; power /= 2) {
        if (static_cast<double>(magnitude + power) <= target) {
            magnitude += power;
        }
    }
    return sign * static_cast<int32_t>(magnitude);
}

// Counts the non-separator bytes that follow a separator or the start. A
// count beyond 2^31 - 1 entries stays there.
int32_t stringArraySize(const char *text) {
    if (text == nullptr) {
        return 0;
    }
    int32_t count = 0;
    bool after_separator = true;
    for (const char *c = text; *c != '\0'; ++c) {
        if (is_separator(*c)) {
            after_separator = true;
        } else if (after_separator) {
            after_separator = false;
            count += count < std::numeric_limits<int32_t>::max() ? 1 : 0;
        }
    }
    return count;
}

// Each entry is read on its own, up to its end: the scanner never sees, let
// alone measures, the rest of the text, so a long list reads in linear time.
// Once 512 values are stored nothing further could be kept, and reading
// stops.
double *string2DoubleArray(const char *text, int32_t *count) {
    double values[kListCap];
    int32_t stored = 0;
    if (text != nullptr) {
        const ami::CNumericLocale c_locale;
        const char *entry = text;
        while (*entry != '\0' && stored < kListCap) {
            if (is_separator(*entry)) {
                ++entry;
                continue;
            }
            const char *end = entry_end(entry);
            const ami::ScannedNumber number = ami::scan_double_in(entry, end);
            if (number.converted) {
                values[stored++] = number.real;
            }
            entry = end;
        }
    }
    // At least one double, so that an empty list, too, gives an array that is
    // not null (malloc(0) may return null, which would read as no memory).
    auto *array = static_cast<double *>(
        std::malloc(static_cast<std::size_t>(std::max(stored, 1)) * sizeof(double)));
    if (array == nullptr) {
        stored = 0;
    } else {
        std::copy(values, values + stored, array);
    }
    if (count != nullptr) {
        *count = stored;
    }
    return array;
}
