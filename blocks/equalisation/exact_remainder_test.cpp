// The clock's remainder against the system's fmod, bit for bit, where a
// quotient rounds up to the next whole number and everywhere else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "blocks/equalisation/exact_remainder.h"

namespace {

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

void expect_fmod(double x, double y) {
    EXPECT_EQ(bits(ami::exact_remainder(x, y)), bits(std::fmod(x, y)))
        << std::hexfloat << "x " << x << ", y " << y;
}

TEST(ExactRemainder, EqualsFmodAtAndAroundMultiples) {
    for (double y : {1e-10, 3.125e-12 * 32, 0.1, 1.0, 3.0, 7.3e5}) {
        for (double k : {1.0, 2.0, 3.0, 10.0, 127.0, 4096.0, 1e6, 2147483647.0, 0x1p51}) {
            const double x = k * y;
            for (double near : {x, std::nextafter(x, 0.0), std::nextafter(x, 1e300),
                                std::nextafter(std::nextafter(x, 0.0), 0.0)}) {
                expect_fmod(near, y);
            }
        }
    }
}

TEST(ExactRemainder, EqualsFmodForClockTimes) {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        const double y = std::ldexp(1.0 + unit(random), static_cast<int>(unit(random) * 80) - 60);
        const double x = y * std::ldexp(unit(random), static_cast<int>(unit(random) * 60));
        expect_fmod(x, y);
        expect_fmod(x + y * 0.5, y);
    }
}

TEST(ExactRemainder, EqualsFmodOutsideItsRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double x : {0.0, -0.0, -5.5, 1e-320, 0x1p60, 1e305, inf, nan, 3.0}) {
        for (double y : {1.0, -2.0, 1e-310, 1e305, inf, nan, 0.0, 0x1p-1000}) {
            SCOPED_TRACE(std::to_string(x) + " " + std::to_string(y));
            const double expected = std::fmod(x, y);
            const double got = ami::exact_remainder(x, y);
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(got));
            } else {
                EXPECT_EQ(bits(got), bits(expected));
            }
        }
    }
}

}  // namespace
