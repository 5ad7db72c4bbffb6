#include "tools/ibis/ibis_numbers.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ibis {
namespace {

struct Scale {
    char letter;
    double factor;
};

// From the largest down; the empty letter stands for no suffix.
constexpr std::array<Scale, 10> kScales = {{{'T', 1e12},
                                            {'G', 1e9},
                                            {'M', 1e6},
                                            {'k', 1e3},
                                            {'\0', 1.0},
                                            {'m', 1e-3},
                                            {'u', 1e-6},
                                            {'n', 1e-9},
                                            {'p', 1e-12},
                                            {'f', 1e-15}}};

bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool is_letter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

std::string mantissa_text(double mantissa) {
    char text[32];
    std::snprintf(text, sizeof text, "%.5g", mantissa);
    return text;
}

}  // namespace

std::optional<double> parse_number(std::string_view token) {
    std::size_t i = 0;
    const std::size_t n = token.size();
    if (i < n && (token[i] == '+' || token[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && is_digit(token[i])) {
        ++i;
        ++digits;
    }
    if (i < n && token[i] == '.') {
        ++i;
        while (i < n && is_digit(token[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    // An exponent only where digits follow the e; otherwise the e is a unit.
    if (i + 1 < n && (token[i] == 'e' || token[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (token[j] == '+' || token[j] == '-')) {
            ++j;
        }
        if (j < n && is_digit(token[j])) {
            while (j < n && is_digit(token[j])) {
                ++j;
            }
            i = j;
        }
    }
    const std::string number(token.substr(0, i));
    double value = std::strtod(number.c_str(), nullptr);
    if (i < n) {
        for (const Scale &scale : kScales) {
            if (scale.letter != '\0' && token[i] == scale.letter) {
                value *= scale.factor;
                ++i;
                break;
            }
        }
    }
    while (i < n && is_letter(token[i])) {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    return value;
}

std::string format_number(double value) {
    if (value == 0.0) {
        return "0";
    }
    const double magnitude = std::fabs(value);
    std::size_t k = kScales.size() - 1;
    for (std::size_t i = 0; i < kScales.size(); ++i) {
        if (magnitude >= kScales[i].factor) {
            k = i;
            break;
        }
    }
    std::string mantissa = mantissa_text(value / kScales[k].factor);
    // Rounding to five digits may reach 1000 (999.996m): one scale up.
    if (k > 0 && std::fabs(std::strtod(mantissa.c_str(), nullptr)) >= 1000.0) {
        --k;
        mantissa = mantissa_text(value / kScales[k].factor);
    }
    return kScales[k].letter == '\0' ? mantissa : mantissa + kScales[k].letter;
}

}  // namespace ibis
