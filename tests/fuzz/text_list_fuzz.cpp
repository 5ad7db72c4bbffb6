// The numeric and text utilities on fuzzed input: d2i on the first eight
// bytes taken as a double, stringArraySize and string2DoubleArray on the
// rest taken as a text. Each is checked against a plain reading of what it
// promises: the entries are the maximal runs of bytes other than tab, line
// feed, carriage return, space, double quote and comma; each entry that
// begins with a number gives the value "%lf" reads from it alone,
// the first 512 of them kept; d2i rounds halves away from zero, -0.5 to 0,
// NaN to -1, and limits magnitudes to 2147483647.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool is_separator(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '"' || c == ',';
}

int32_t expected_d2i(double x) {
    if (std::isnan(x)) {
        return -1;
    }
    if (x >= -0.5 && x < 0.5) {
        return 0;
    }
    const double magnitude = std::floor(std::fabs(x) + 0.5);
    const double limited = magnitude > 2147483647.0 ? 2147483647.0 : magnitude;
    return static_cast<int32_t>(x > 0 ? limited : -limited);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    const double x = input.raw_double();
    FUZZ_CHECK(d2i(x) == expected_d2i(x));

    const std::string text = input.rest_as_text();
    int32_t entries = 0;
    std::vector<double> values;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_separator(text[i]) || (i > 0 && !is_separator(text[i - 1]))) {
            continue;
        }
        ++entries;  // the first byte of an entry
        std::size_t end = i;
        while (end < text.size() && !is_separator(text[end])) {
            ++end;
        }
        // The entry on its own ("%lf" skips leading white space, which
        // inside an entry can only be vertical tabs and form feeds).
        const std::string entry = text.substr(i, end - i);
        double value = 0.0;
        if (std::sscanf(entry.c_str(), "%lf", &value) == 1 && values.size() < 512) {
            values.push_back(value);
        }
    }
    FUZZ_CHECK(stringArraySize(text.c_str()) == entries);

    int32_t count = -1;
    double *array = string2DoubleArray(text.c_str(), &count);
    FUZZ_CHECK(array != nullptr);
    FUZZ_CHECK(count == static_cast<int32_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) {
        FUZZ_CHECK(std::memcmp(&array[k], &values[k], sizeof(double)) == 0 ||
                   (std::isnan(array[k]) && std::isnan(values[k])));
    }
    std::free(array);
    return 0;
}
